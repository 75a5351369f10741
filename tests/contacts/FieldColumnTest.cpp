#include "contacts/FieldColumn.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

// Prefix lookups against a plain scan, across the four-unit boundary of the
// sorted heads, with values changed and appended after sorting.
TEST(FieldColumn, PrefixLookupsAgreeWithAScan)
{
    std::mt19937 rng(7);
    const std::u16string alphabet = u"ab\u00e9\u0000";
    auto randomKey = [&] {
        std::u16string k;
        const int n = int(rng() % 7);
        for (int i = 0; i < n; ++i)
            k.push_back(alphabet[rng() % alphabet.size()]);
        return k;
    };
    FieldColumn column;
    std::vector<std::u16string> truth;
    for (int i = 0; i < 400; ++i) {
        truth.push_back(randomKey());
        column.append(truth.back());
    }
    for (int round = 0; round < 300; ++round) {
        if (round % 3 == 0) {
            const uint32_t r = 1 + rng() % uint32_t(truth.size());
            truth[r - 1] = randomKey();
            column.set(r, truth[r - 1]);
        } else if (round % 7 == 0) {
            truth.push_back(randomKey());
            column.append(truth.back());
        }
        const std::u16string prefix = randomKey();
        std::vector<uint32_t> expected, got;
        for (uint32_t r = 1; r <= truth.size(); ++r)
            if (std::u16string_view(truth[r - 1]).substr(0, prefix.size()) == prefix)
                expected.push_back(r);
        column.forEachPrefix(prefix, [&](uint32_t r) {
            got.push_back(r);
            return true;
        });
        std::sort(got.begin(), got.end());
        ASSERT_EQ(got, expected) << "round " << round;
        EXPECT_GE(column.countPrefix(prefix, SIZE_MAX), expected.size());
        for (uint32_t r = 1; r <= truth.size(); ++r)
            ASSERT_EQ(column.key(r), truth[r - 1]);
    }
}

// Texts fill fixed blocks: long and empty values across block ends, and
// changed values stored after them, all read back whole.
TEST(FieldColumn, ValuesReadBackAcrossBlocks)
{
    std::mt19937 rng(11);
    auto randomKey = [&] {
        std::u16string k(rng() % 256, u'x');
        for (char16_t &c : k)
            c = char16_t(u'a' + rng() % 26);
        return k;
    };
    FieldColumn column;
    std::vector<std::u16string> truth;
    for (int i = 0; i < 3000; ++i) { // about six blocks of text
        truth.push_back(randomKey());
        column.append(truth.back());
    }
    for (int i = 0; i < 1000; ++i) {
        const uint32_t r = 1 + rng() % uint32_t(truth.size());
        truth[r - 1] = randomKey();
        column.set(r, truth[r - 1]);
    }
    ASSERT_EQ(column.size(), truth.size());
    for (uint32_t r = 1; r <= truth.size(); ++r)
        ASSERT_EQ(column.key(r), truth[r - 1]) << "record " << r;
}
