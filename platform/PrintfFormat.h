// The attribute that has the compiler check printf-style format strings
// against their arguments.
#pragma once

// MinGW's plain "printf" means the Microsoft runtime's formats (no %zu); the
// C++ library there uses MinGW's own C99 printf, which gnu_printf describes.
#if defined(__MINGW32__)
#define BW_PRINTF_FORMAT(formatIndex, firstArgument) __attribute__((format(gnu_printf, formatIndex, firstArgument)))
#else
#define BW_PRINTF_FORMAT(formatIndex, firstArgument) __attribute__((format(printf, formatIndex, firstArgument)))
#endif
