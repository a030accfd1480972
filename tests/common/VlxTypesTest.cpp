// The shared exception root and the test helpers themselves.
#include "common/VlxTypes.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

TEST(Exception, KeepsUtf8Message) {
    const Exception e(QString::fromUtf8("Fichier « été » introuvable"));
    EXPECT_EQ(e.Message(), QString::fromUtf8("Fichier « été » introuvable"));
}

TEST(TestSupport, FirstDifferenceNamesTheByte) {
    EXPECT_TRUE(FirstDifference("abc", "abc").isEmpty());
    EXPECT_TRUE(FirstDifference("abc", "abd").startsWith("first difference at byte 2"));
    EXPECT_TRUE(FirstDifference("abc", "ab").startsWith("lengths differ"));
}
