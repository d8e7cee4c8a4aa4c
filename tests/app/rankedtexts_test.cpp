// Texts made in one order and given back in another, with buckets and a budget small enough that
// every path (held in memory, spilled in several pieces, places never filled) is taken.

#include "app/rankedtexts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <string>
#include <vector>

namespace vkt {
namespace {

std::vector<std::string> given_back(RankedTexts& texts) {
  std::vector<std::string> out;
  texts.for_each_in_order([&](std::string_view text) { out.emplace_back(text); });
  return out;
}

TEST(RankedTexts, GivesTheTextsBackInPlaceOrderWhetherHeldOrSpilled) {
  constexpr std::uint32_t kPlaces = 5000;
  std::vector<std::uint32_t> places(kPlaces);
  std::iota(places.begin(), places.end(), 0u);
  std::shuffle(places.begin(), places.end(), std::mt19937(7));
  std::vector<std::string> expected(kPlaces);
  for (std::uint32_t p = 0; p < kPlaces; ++p) {
    expected[p] = "row " + std::to_string(p) + std::string(p % 37, 'x') + "\r\n";
  }
  // One bucket in memory, and 64-place buckets without a budget: every text is spilled alone.
  for (const auto& [per_bucket, budget] :
       {std::pair{kPlaces, std::size_t{1} << 20}, std::pair{64u, std::size_t{0}}}) {
    RankedTexts texts(kPlaces, per_bucket, budget);
    for (const std::uint32_t p : places) {
      texts.add(p, [&](std::string& out) { out += expected[p]; });
    }
    EXPECT_EQ(texts.spilled_bytes() > 0, per_bucket == 64u);
    EXPECT_EQ(given_back(texts), expected) << per_bucket;
  }
}

TEST(RankedTexts, PassesOverPlacesNeverFilledAndKeepsTheLaterOfTwoTexts) {
  RankedTexts texts(6, 2, 0);
  texts.add(4, [](std::string& out) { out += "e"; });
  texts.add(1, [](std::string& out) { out += "b"; });
  texts.add(1, [](std::string& out) { out += "B"; });
  texts.add(5, [](std::string& out) { out += ""; });
  EXPECT_EQ(given_back(texts), (std::vector<std::string>{"B", "e"}));
  EXPECT_THROW(texts.add(6, [](std::string& out) { out += "x"; }), std::out_of_range);
}

}  // namespace
}  // namespace vkt
