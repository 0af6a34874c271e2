#pragma once
// The look shared by the action dialog and the message form: colours given
// as 0xBBGGRR values (blue in the high byte), filled backgrounds.
#include "platform/gui/Colors.h"

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QWidget>
#include <cstdint>

namespace app {

inline constexpr std::uint32_t clFormBack = 0xB80047;  // the forms' purple
inline constexpr std::uint32_t clPanelBack = 0x5F5F5F; // the panels' grey

using platform::ColorFromBGR;

// Fills `w`'s background with the colour `c`.
inline void SetBackColor(QWidget *w, std::uint32_t c)
{
    platform::SetControlColor(w, c);
}

inline void SetTextColor(QWidget *w, const QColor &c)
{
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, c);
    w->setPalette(p);
}

// A bold font `pixels` high, as the forms' fixed font heights give it.
inline QFont BoldPixelFont(const QFont &base, int pixels)
{
    QFont f = base;
    f.setPixelSize(pixels);
    f.setBold(true);
    return f;
}

} // namespace app
