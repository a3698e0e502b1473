#include "utils/debug_stream.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <memory>
#include <thread>
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

TEST(DebugStream, EventLineStartsWithTheProcessId) {
  g_pieces.clear();
  varnel::SetDebugSink(Collect);
  varnel::SetDebugProcessId(4294967295ul);
  varnel::DebugEvent("Setup ends: %s", "x");
  varnel::SetDebugProcessId(0);
  varnel::SetDebugSink(nullptr);
  ASSERT_EQ(g_pieces.size(), 1u);
  EXPECT_EQ(g_pieces[0], "4294967295 ==== Setup ends: x\r\n");
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

// A sink that writes a trace line of its own while it delivers, as a window
// handler does when a sent message arrives during the hand-over.
int g_depth = 0;
void Reentrant(const std::string& piece) {
  g_pieces.push_back(piece);
  if (g_depth++ == 0) varnel::DebugLine("inner");
  --g_depth;
}

TEST(DebugStream, SinkMayWriteWhileItDelivers) {
  g_pieces.clear();
  varnel::SetDebugSink(Reentrant);
  // Written from a thread of its own, so that a deadlock ends the test
  // run with a message instead of hanging it.
  auto done = std::make_shared<std::promise<void>>();
  std::future<void> finished = done->get_future();
  std::thread([done] {
    varnel::DebugLine("outer");
    done->set_value();
  }).detach();
  if (finished.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
    std::fprintf(stderr, "DebugStream deadlock: the lock was held during the delivery\n");
    std::_Exit(1);
  }
  varnel::SetDebugSink(nullptr);
  EXPECT_EQ(g_pieces, (std::vector<std::string>{"outer\r\n", "inner\r\n"}));
}

}  // namespace
