// Helpers of the HTML tests: text comparison that shows where two pages part.
#pragma once

#include <QString>

#include <gtest/gtest.h>

#include "support/TestSupport.h"

inline testing::AssertionResult SameHtml(const QString& expected, const QString& actual) {
    const QString difference = FirstDifference(expected.toUtf8(), actual.toUtf8());
    if (difference.isEmpty())
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << difference.toStdString();
}

// Lines joined with CR LF, no final line break, as every page is written.
inline QString CrLfLines(const QStringList& lines) {
    return lines.join(QStringLiteral("\r\n"));
}

// The message of the exception a statement raises, or "" when it raises none.
template <class E, class F> QString MessageOf(F&& statement) {
    try {
        statement();
    } catch (const E& e) {
        return e.Message();
    }
    return {};
}
