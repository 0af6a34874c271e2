#pragma once
// Colours given as the form resources give them: 0x00BBGGRR.
#include <QColor>
#include <cstdint>

class QWidget;

namespace platform {

inline QColor ColorFromBGR(std::uint32_t c)
{
    return QColor(int(c & 0xff), int((c >> 8) & 0xff), int((c >> 16) & 0xff));
}

inline constexpr std::uint32_t clBlack = 0x000000;
inline constexpr std::uint32_t clYellow = 0x00FFFF;
inline constexpr std::uint32_t clWhite = 0xFFFFFF;

// The control's background colour (it fills its background from now on).
void SetControlColor(QWidget *w, std::uint32_t bgr);
// The colour of the control's text.
void SetFontColor(QWidget *w, std::uint32_t bgr);

} // namespace platform
