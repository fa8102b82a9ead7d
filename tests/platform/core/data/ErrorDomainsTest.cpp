#include "platform/core/QDError.h"

#include <gtest/gtest.h>

// Stored errors and peers compare these domains by their text, so the text itself is pinned here.
TEST(ErrorDomains, HoldTheirPublishedTexts)
{
    const struct {
        const QString &domain;
        const char *text;
    } rows[] = {
        {QuendelErrorDomain, "com.quendel.errordomain"},
        {QuendelCloudKitErrorDomain, "com.quendel.cloudkiterrordomain"},
    };
    for (const auto &row : rows)
        EXPECT_EQ(row.domain.toStdString(), row.text);
}
