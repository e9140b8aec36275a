#pragma once

#include "platform/Exception.h"

#include <QString>

#include <utility>

// The text of the exception of type E that fn raises, or "<no exception>"
// when it raises none, so a test can compare the very text users see.
template <class E = Exception, class F>
QString ExceptionText(F&& fn)
{
    try {
        std::forward<F>(fn)();
    } catch (const E& e) {
        return e.Message();
    }
    return QStringLiteral("<no exception>");
}
