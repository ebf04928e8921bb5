"""Prints the values in the LV2 state that Ardour saved for Brindlewave in a
snapshot ("param INDEX VALUE", port values), read from the state text and the
bundle's description.
Usage: lv2state.py SESSION_DIR SNAPSHOT BUNDLE.lv2"""
import os, re, sys, xml.etree.ElementTree as ET

session, snapshot, bundle = sys.argv[1:4]
root = ET.parse(os.path.join(session, snapshot + ".ardour")).getroot()
procs = [p for p in root.iter("Processor") if p.get("type") == "lv2"]
assert len(procs) == 1, "want one LV2 processor in %s, found %d" % (snapshot, len(procs))
node = procs[0].find("lv2")
assert node is not None and node.get("state-dir"), "the LV2 processor has no saved state"
state_ttl = os.path.join(session, "plugins", procs[0].get("id"), node.get("state-dir"), "state.ttl")
ttl = open(state_ttl, encoding="utf-8").read()
match = re.search(r'<urn:quarrylane:brindlewave#state>\s*"""(.*?)"""', ttl, re.S)
assert match, "no Brindlewave state text in " + state_ttl

# Port index by symbol, and each enumeration's labels, from the description.
desc = open(os.path.join(bundle, "Brindlewave.ttl"), encoding="utf-8").read()
index, labels = {}, {}
for port in re.findall(r"\[\s*a lv2:InputPort , lv2:ControlPort ;(.*?)\n    \]", desc, re.S):
    symbol = re.search(r'lv2:symbol "([^"]+)"', port).group(1)
    index[symbol] = int(re.search(r"lv2:index (\d+)", port).group(1))
    for label, value in re.findall(r'rdfs:label "([^"]+)" ; rdf:value ([-\d.]+)', port):
        labels[(symbol, label)] = float(value)

# ParameterList, then each key one tab in and its value two tabs in.
values, key, inside = {}, None, False
for line in match.group(1).split("\n"):
    if line == "ParameterList":
        inside = True
    elif inside and line.startswith("\t\t"):
        values[key] = line[2:]
    elif inside and line.startswith("\t"):
        key = line[1:]
    elif line.strip():
        inside = False

def number(symbol, text):
    if text in ("true", "false"):
        return 1.0 if text == "true" else 0.0
    if (symbol, text) in labels:
        return labels[(symbol, text)]
    return float(text)

missing = sorted(set(index) - set(values))
assert not missing, "the state lacks " + ", ".join(missing)
for symbol in sorted(index, key=index.get):
    print("param %d %.6f" % (index[symbol], number(symbol, values[symbol])))
