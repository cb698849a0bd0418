#include "platform/ShortcutKeyTable.h"

#include <array>
#include <utility>

namespace ShortcutKeyTable {
namespace {

constexpr std::array<std::pair<quint16, quint32>, 71> kTable = {{
    // Digits.
    {29, 0x30},
    {18, 0x31},
    {19, 0x32},
    {20, 0x33},
    {21, 0x34},
    {23, 0x35},
    {22, 0x36},
    {26, 0x37},
    {28, 0x38},
    {25, 0x39},
    // Letters (lower-case keysyms).
    {0, 'a'},
    {11, 'b'},
    {8, 'c'},
    {2, 'd'},
    {14, 'e'},
    {3, 'f'},
    {5, 'g'},
    {4, 'h'},
    {34, 'i'},
    {38, 'j'},
    {40, 'k'},
    {37, 'l'},
    {46, 'm'},
    {45, 'n'},
    {31, 'o'},
    {35, 'p'},
    {12, 'q'},
    {15, 'r'},
    {1, 's'},
    {17, 't'},
    {32, 'u'},
    {9, 'v'},
    {13, 'w'},
    {7, 'x'},
    {16, 'y'},
    {6, 'z'},
    // F1 to F12.
    {122, 0xffbe},
    {120, 0xffbf},
    {99, 0xffc0},
    {118, 0xffc1},
    {96, 0xffc2},
    {97, 0xffc3},
    {98, 0xffc4},
    {100, 0xffc5},
    {101, 0xffc6},
    {109, 0xffc7},
    {103, 0xffc8},
    {111, 0xffc9},
    // Named keys; "Delete" is the key left of the backspace position, BackSpace on X.
    {49, 0x20},
    {36, 0xff0d},
    {48, 0xff09},
    {51, 0xff08},
    {53, 0xff1b},
    {123, 0xff51},
    {124, 0xff53},
    {125, 0xff54},
    {126, 0xff52},
    {24, '='},
    {27, '-'},
    {30, ']'},
    {33, '['},
    {39, '\''},
    {41, ';'},
    {42, '\\'},
    {43, ','},
    {44, '/'},
    {47, '.'},
}};

} // namespace

std::optional<quint32> keysymForKeyCode(quint16 keyCode) {
    for (const auto& [code, sym] : kTable)
        if (code == keyCode) return sym;
    return std::nullopt;
}

std::optional<quint16> keyCodeForKeysym(quint32 keysym) {
    if (keysym >= 'A' && keysym <= 'Z') keysym += 'a' - 'A';
    for (const auto& [code, sym] : kTable)
        if (sym == keysym) return code;
    return std::nullopt;
}

quint16 xModifiers(quint64 stored) {
    quint16 x = 0;
    if (stored & shiftFlag) x |= xShift;
    if (stored & controlFlag) x |= xControl;
    if (stored & optionFlag) x |= xMod1;
    if (stored & commandFlag) x |= xMod4;
    return x;
}

quint64 storedModifiers(quint16 xState) {
    quint64 stored = 0;
    if (xState & xShift) stored |= shiftFlag;
    if (xState & xControl) stored |= controlFlag;
    if (xState & xMod1) stored |= optionFlag;
    if (xState & xMod4) stored |= commandFlag;
    return stored;
}

} // namespace ShortcutKeyTable
