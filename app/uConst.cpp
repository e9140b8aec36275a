#include "app/uConst.h"

QColor ColorFromRef(std::uint32_t colorRef)
{
    return QColor(int(colorRef & 0xFF), int((colorRef >> 8) & 0xFF), int((colorRef >> 16) & 0xFF));
}

const QColor clButtonNormal = ColorFromRef(0x1173F8);
const QColor clButtonHover = ColorFromRef(0x408000);
const QColor clMenuSelected = ColorFromRef(0xCAEBFF);
const QColor clLMenuNormal = ColorFromRef(0xCAEBFF);
const QColor clLMenuHover = ColorFromRef(0x7FC3FF);
const QColor clLMenuHoverBar = ColorFromRef(0x1173F8);
const QColor clLMenuBar = ColorFromRef(0x7FC3FF);
const QColor clLMenuSelected = ColorFromRef(0x408000);

const QColor clTlacitkoFace = ColorFromRef(0x0C77ED);
const QColor clKeepOnHover = ColorFromRef(0xCAEBFF);
const QColor clFocusFrame = ColorFromRef(0x55AA00);
const QColor clWhite = ColorFromRef(0xFFFFFF);

QColor VisibleOn(const QColor& wanted, const QColor& behind)
{
    if (wanted.rgb() != behind.rgb())
        return wanted;
    return wanted.lightness() > 200 ? wanted.darker(130) : wanted.lighter(150);
}
