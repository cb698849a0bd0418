#pragma once

#include <QtGlobal>
#include <optional>

// Stored shortcut bindings keep their own key codes and modifier bits (files written
// by earlier versions rely on them). This one table translates them to and from X
// keysyms and modifier masks.
namespace ShortcutKeyTable {

// Stored modifier bits.
inline constexpr quint64 shiftFlag = 0x20000;
inline constexpr quint64 controlFlag = 0x40000;
inline constexpr quint64 optionFlag = 0x80000;
inline constexpr quint64 commandFlag = 0x100000;
inline constexpr quint64 matchedFlags = shiftFlag | controlFlag | optionFlag | commandFlag;

// X modifier masks: option is Mod1 (Alt), command is Mod4 (Super).
inline constexpr quint16 xShift = 0x0001;
inline constexpr quint16 xLock = 0x0002;
inline constexpr quint16 xControl = 0x0004;
inline constexpr quint16 xMod1 = 0x0008;
inline constexpr quint16 xMod4 = 0x0040;

// The keysym a stored key code stands for; none for a code outside the table.
std::optional<quint32> keysymForKeyCode(quint16 keyCode);
// The stored key code of a keysym (letters in either case); none when not in the table.
std::optional<quint16> keyCodeForKeysym(quint32 keysym);

quint16 xModifiers(quint64 storedModifiers);
quint64 storedModifiers(quint16 xState);

} // namespace ShortcutKeyTable
