#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "common/NaturalOrder.h"

namespace tabulo {
namespace {

int sign(int v) {
    return (v > 0) - (v < 0);
}

TEST(NaturalOrderTest, Pairs) {
    const std::string twentyFive(25, '9');
    struct Pair {
        std::string a, b;
        int expected;
    } pairs[] = {
        {"file2", "file10", -1},
        {"a", "B", -1},
        {"B", "c", -1},
        {"B", "b", -1},  // equal but for case: bytes decide
        {"x1", "x01", -1},
        {"x01", "x001", -1},
        {"x01b", "x1c", -1},  // the value first, the zeros only on a tie
        {"x00", "x0", 1},
        {"1.9", "1.10", -1},
        {"1.10", "1.10", 0},
        {"v1.2.10", "v1.10.2", -1},
        {twentyFive, "1" + twentyFive, -1},
        {"0" + twentyFive + "0", twentyFive + "1", -1},
        {twentyFive + "8", twentyFive + "9", -1},
        {"", "", 0},
        {"", "a", -1},
        {"", "0", -1},
        {"a", "a1", -1},
        {"a b", "a1", -1},  // a blank before a digit
        {"a_b", "a1", 1},   // "_" after one
        {"a-1", "a1", -1},
        {"\xC3\xA9t\xC3\xA9", "\xC3\x89T\xC3\x89", 1},  // é vs É: equal folded, then bytes
        {"\xC3\xA9t\xC3\xA9", "ETE", 1},
        {"\xC3\x89t", "\xC3\xA9u", -1},
        {"\xE9t", "\xC3\xA9u", -1},  // windows-1252 é
        {"\x80", "\xFF", 1},         // the euro sign after ÿ
        {"z", "\xC3\xA9", -1},
    };
    for (const auto& p : pairs) {
        EXPECT_EQ(sign(compareNatural(p.a, p.b)), p.expected) << p.a << " vs " << p.b;
        EXPECT_EQ(sign(compareNatural(p.b, p.a)), -p.expected) << p.b << " vs " << p.a;
    }
}

TEST(NaturalOrderTest, SortsShuffledNames) {
    const std::string nines(23, '9'), power = "1" + std::string(23, '0');
    const std::vector<std::string> expected = {
        "",       "1",       "01",        "2",          "9",         "10",  "010",  nines,
        power,    "a",       "A1",        "a1",         "a2",        "A10", "a10b", "b",
        "B2.txt", "b10.txt", "chapter 2", "Chapter 10", "chapter10", "z"};
    std::vector<std::string> names = expected;
    std::mt19937 rng(7);
    for (int round = 0; round < 20; ++round) {
        std::shuffle(names.begin(), names.end(), rng);
        std::sort(names.begin(), names.end(),
                  [](const auto& a, const auto& b) { return compareNatural(a, b) < 0; });
        ASSERT_EQ(names, expected);
    }
}

// std::sort needs a strict weak ordering; here every pair and many triples of generated names.
TEST(NaturalOrderTest, StrictWeakOrderingOnGeneratedNames) {
    const char* pieces[] = {"a",   "A", "b", "0", "00", "1",        "01",       "9",    "10",
                            "007", ".", " ", "_", "-",  "\xC3\xA9", "\xC3\x89", "\xE9", "\xC3"};
    std::mt19937 rng(42);
    std::uniform_int_distribution<std::size_t> piece(0, std::size(pieces) - 1), count(0, 4);
    std::vector<std::string> names;
    for (int k = 0; k < 300; ++k) {
        std::string name;
        for (std::size_t n = count(rng); n > 0; --n) name += pieces[piece(rng)];
        names.push_back(name);
    }
    for (const auto& a : names) {
        for (const auto& b : names) {
            int ab = sign(compareNatural(a, b));
            ASSERT_EQ(ab, -sign(compareNatural(b, a))) << a << " | " << b;
            ASSERT_EQ(ab == 0, a == b) << a << " | " << b;
        }
    }
    std::uniform_int_distribution<std::size_t> pick(0, names.size() - 1);
    for (int k = 0; k < 20000; ++k) {
        const auto& a = names[pick(rng)];
        const auto& b = names[pick(rng)];
        const auto& c = names[pick(rng)];
        if (compareNatural(a, b) < 0 && compareNatural(b, c) < 0) {
            ASSERT_LT(compareNatural(a, c), 0) << a << " | " << b << " | " << c;
        }
    }
}

}  // namespace
}  // namespace tabulo
