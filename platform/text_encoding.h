// Texts stored in project files (machine names, the project text, plug-in names) are 8-bit
// texts of the Windows Western code page; whatever the program prints or writes as JSON, and
// every file name it makes from them, is UTF-8. Pure functions, any thread.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// Valid UTF-8 for any bytes. Sequences that already are valid UTF-8 (ASCII included) are kept,
// so a text made on this system, or a message that quotes a UTF-8 path, passes unchanged; every
// other byte is read as the Western code page: Latin-1, with the code page's printable characters
// ("€", curly quotes, dashes) at 0x80-0x9F where Latin-1 has only control codes.
std::string EightBitToUtf8(std::string_view text);

// Whether the bytes are valid UTF-8 (shortest forms, no surrogates, nothing above U+10FFFF).
bool IsValidUtf8(std::string_view text);

} // namespace platform
