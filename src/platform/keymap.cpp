#include "keymap.h"

#include "hotkeys.h"

#include <array>
#include <utility>

namespace korvel {
namespace {

// (virtual key code, keysym); letters and digits use their lower-case keysym.
constexpr std::array<std::pair<quint32, quint32>, 73> table{{
    {0, 'a'},      {11, 'b'},     {8, 'c'},      {2, 'd'},      {14, 'e'},     {3, 'f'},
    {5, 'g'},      {4, 'h'},      {34, 'i'},     {38, 'j'},     {40, 'k'},     {37, 'l'},
    {46, 'm'},     {45, 'n'},     {31, 'o'},     {35, 'p'},     {12, 'q'},     {15, 'r'},
    {1, 's'},      {17, 't'},     {32, 'u'},     {9, 'v'},      {13, 'w'},     {7, 'x'},
    {16, 'y'},     {6, 'z'},      {29, '0'},     {18, '1'},     {19, '2'},     {20, '3'},
    {21, '4'},     {23, '5'},     {22, '6'},     {26, '7'},     {28, '8'},     {25, '9'},
    {27, '-'},     {24, '='},     {33, '['},     {30, ']'},     {42, '\\'},    {41, ';'},
    {39, '\''},    {43, ','},     {47, '.'},     {44, '/'},     {50, '`'},     {49, ' '},
    {36, 0xff0d},  {48, 0xff09},  {51, 0xff08},  {53, 0xff1b},  {123, 0xff51}, {126, 0xff52},
    {124, 0xff53}, {125, 0xff54}, {122, 0xffbe}, {120, 0xffbf}, {99, 0xffc0},  {118, 0xffc1},
    {96, 0xffc2},  {97, 0xffc3},  {98, 0xffc4},  {100, 0xffc5}, {101, 0xffc6}, {109, 0xffc7},
    {103, 0xffc8}, {111, 0xffc9}, {115, 0xff50}, {119, 0xff57}, {116, 0xff55}, {121, 0xff56},
    {117, 0xffff},
}};

// X modifier bits: Shift, Control, Mod1 (Alt), Mod4 (Super).
constexpr quint16 xShift = 1;
constexpr quint16 xControl = 4;
constexpr quint16 xMod1 = 8;
constexpr quint16 xMod4 = 64;

} // namespace

std::optional<quint32> keysymForKeyCode(quint32 keyCode) {
    for (const auto& [code, keysym] : table) {
        if (code == keyCode)
            return keysym;
    }
    return std::nullopt;
}

std::optional<quint32> keyCodeForKeysym(quint32 keysym) {
    // Upper-case Latin letters share the key of their lower-case keysym.
    if (keysym >= 'A' && keysym <= 'Z')
        keysym += 'a' - 'A';
    for (const auto& [code, sym] : table) {
        if (sym == keysym)
            return code;
    }
    return std::nullopt;
}

quint16 xModifierMask(quint32 modifiers) {
    quint16 mask = 0;
    if (modifiers & modifier::control)
        mask |= xControl;
    if (modifiers & modifier::shift)
        mask |= xShift;
    if (modifiers & modifier::option)
        mask |= xMod1;
    if (modifiers & modifier::command)
        mask |= xMod4;
    return mask;
}

quint32 modifiersForXMask(quint16 mask) {
    quint32 modifiers = 0;
    if (mask & xControl)
        modifiers |= modifier::control;
    if (mask & xShift)
        modifiers |= modifier::shift;
    if (mask & xMod1)
        modifiers |= modifier::option;
    if (mask & xMod4)
        modifiers |= modifier::command;
    return modifiers;
}

} // namespace korvel
