#pragma once

// Helpers shared inside the model; not part of its interface.

#include "platform/HexDigit.h"

#include <QByteArray>
#include <QDomElement>
#include <QString>

#include <optional>

namespace devdata_xml {

// The value of a hexadecimal digit, or -1.

// Lower-cases A-Z only: keywords are plain ASCII and nothing else may turn
// into one of them.
QString AsciiLower(const QString& text);

// An attribute's text in the device's code page (for the number parsers and
// for values that go into a record); nothing when it is absent.
std::optional<QByteArray> Attribute(const QDomElement& e, const char* name);

// Calls f for each child element named exactly `tag`, in document order;
// comments, text and other elements are passed over.
template <class F>
void ForEachChild(const QDomElement& parent, QLatin1String tag, F f)
{
    for (QDomNode node = parent.firstChild(); !node.isNull(); node = node.nextSibling()) {
        const QDomElement child = node.toElement();
        if (!child.isNull() && child.tagName() == tag)
            f(child);
    }
}

} // namespace devdata_xml
