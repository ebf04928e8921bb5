// The tab-indented text in which the effect's state is saved. A document is a
// sequence of entries separated by line feeds; an entry is a key line and a
// value block whose every line carries one more leading tab than the key.
// A value can itself be a document, one level deeper.
#pragma once

#include <cstdint>
#include <istream>
#include <string>

// The text with depth tabs in front and depth tabs after every line feed.
std::string indentText(const std::string& text, uint32_t depth);

// One entry at level 0: the key, a line feed, the value indented once.
std::string makeEntry(const std::string& key, const std::string& value);

// Appends an entry, with a line feed before it unless the document is empty.
void addEntry(std::string& document, const std::string& key, const std::string& value);

// Reads lines until one does not begin with a tab and gives it as the key,
// so the value blocks of unwanted entries are passed over. False at the end.
bool readKey(std::istream& stream, std::string& key);

// Takes the tab-led lines that follow, each without its first tab and cut at
// its first zero byte, joined by line feeds. Empty when none follows.
bool readValue(std::istream& stream, std::string& value);

// readKey until the key equals the given one byte for byte; false at the end.
bool findKey(std::istream& stream, const std::string& key);

// findKey, then readValue.
bool findValue(std::istream& stream, const std::string& key, std::string& value);
