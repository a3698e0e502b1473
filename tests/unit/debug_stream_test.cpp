#include "utils/debug_stream.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> g_pieces;
void Collect(const std::string& piece) { g_pieces.push_back(piece); }

TEST(DebugStream, LongLineArrivesIn128CharacterPieces) {
  g_pieces.clear();
  varnel::SetDebugSink(Collect);
  varnel::DebugLine("%s", std::string(300, 'x').c_str());
  varnel::SetDebugSink(nullptr);
  ASSERT_EQ(g_pieces.size(), 3u);
  EXPECT_EQ(g_pieces[0].size(), 128u);
  EXPECT_EQ(g_pieces[1].size(), 128u);
  EXPECT_EQ(g_pieces[2], std::string(44, 'x') + "\r\n");
}

TEST(DebugStream, ShortLineIsOnePieceWithCrLf) {
  g_pieces.clear();
  varnel::SetDebugSink(Collect);
  varnel::DebugLine("%d ==== STUB START ====> ", 42);
  varnel::SetDebugSink(nullptr);
  ASSERT_EQ(g_pieces.size(), 1u);
  EXPECT_EQ(g_pieces[0], "42 ==== STUB START ====> \r\n");
}

TEST(DebugStream, CrLfIsNotDoubled) {
  g_pieces.clear();
  varnel::SetDebugSink(Collect);
  varnel::DebugWrite("a\r\nb\n");
  varnel::DebugWrite("c\r");
  varnel::DebugWrite("\n");
  varnel::SetDebugSink(nullptr);
  std::string all;
  for (const std::string& p : g_pieces) all += p;
  EXPECT_EQ(all, "a\r\nb\r\nc\r\n");
}

}  // namespace
