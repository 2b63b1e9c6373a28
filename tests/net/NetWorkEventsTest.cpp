// Work scopes, status texts and the freeze guard's pumping rules.
#include <gtest/gtest.h>

#include <thread>

#include "net/NetComponent.h"
#include "net/NetException.h"
#include "net/NetFreezeGuard.h"
#include "NetTestUtil.h"
#include "support/ExpectRaises.h"
#include "support/FakePump.h"

namespace {


TEST(WorkScopes, NestedScopesFireOnlyAtTheOutermostLevel) {
  TNetComponent c;
  WorkLog log;
  log.Attach(c);
  c.OpenWork(wmRead, 500);
  c.OpenWork(wmRead, 77);
  c.AddWork(wmRead, 100);
  c.AddWork(wmRead, 100);
  c.CloseWork(wmRead);
  c.OpenWork(wmWrite, 9);  // a write scope is independent of the read scope
  c.CloseWork(wmWrite);
  c.CloseWork(wmRead);
  EXPECT_EQ(log.events, (std::vector<std::string>{"begin r 500", "work r 100", "work r 200", "begin w 9", "end w",
                                                  "end r"}));
  EXPECT_EQ(c.WorkTotal(wmRead), 200);  // stays readable after the scope closed
}

TEST(WorkScopes, WorkOutsideAScopeIsNotReportedAndNextScopeStartsAtZero) {
  TNetComponent c;
  WorkLog log;
  log.Attach(c);
  c.AddWork(wmRead, 100);
  c.OpenWork(wmRead, 0);
  c.AddWork(wmRead, 5);
  c.CloseWork(wmRead);
  EXPECT_EQ(log.events, (std::vector<std::string>{"begin r 0", "work r 5", "end r"}));
}

TEST(WorkScopes, CountsBeyond32BitsAreClampedNotWrapped) {
  TNetComponent c;
  WorkLog log;
  log.Attach(c);
  c.OpenWork(wmRead, int64_t{5} << 30);
  c.AddWork(wmRead, int64_t{3} << 30);
  c.AddWork(wmRead, int64_t{2} << 30);
  c.CloseWork(wmRead);
  EXPECT_EQ(log.events, (std::vector<std::string>{"begin r 2147483647", "work r 2147483647", "work r 2147483647",
                                                  "end r"}));
  EXPECT_EQ(c.WorkTotal(wmRead), int64_t{5} << 30);
}

TEST(WorkScopes, AHandlerThatRaisesInOnWorkEndStillClosesTheScope) {
  TNetComponent c;
  c.OnWorkEnd = [](TObject*, TWorkMode) { throw ENetException("boom"); };
  c.OpenWork(wmRead, 1);
  EXPECT_THROW(c.CloseWork(wmRead), ENetException);
  EXPECT_EQ(c.WorkDepth(wmRead), 0);
}

TEST(StatusText, FillsThePlaceholderOrLeavesItEmpty) {
  EXPECT_EQ(TNetComponent::StatusText(hsResolving, "example"), "Resolving hostname example.");
  EXPECT_EQ(TNetComponent::StatusText(hsConnecting, "127.0.0.1"), "Connecting to 127.0.0.1.");
  EXPECT_EQ(TNetComponent::StatusText(hsConnected, "x"), "Connected.");
  EXPECT_EQ(TNetComponent::StatusText(hsDisconnecting), "Disconnecting.");
  EXPECT_EQ(TNetComponent::StatusText(hsDisconnected), "Disconnected.");
  EXPECT_EQ(TNetComponent::StatusText(hsStatusText), "");
  EXPECT_EQ(TNetComponent::StatusText(hsStatusText, "Chunk Started"), "Chunk Started");
}

TEST(FreezeGuard, EngagedOnlyOnTheMainThreadWhileActive) {
  EXPECT_FALSE(TNetFreezeGuardBase::IsEngaged());
  TNetFreezeGuard guard;
  EXPECT_TRUE(TNetFreezeGuardBase::IsEngaged());
  bool otherThread = true;
  std::thread([&] { otherThread = TNetFreezeGuardBase::IsEngaged(); }).join();
  EXPECT_FALSE(otherThread);
  guard.SetActive(false);
  EXPECT_FALSE(TNetFreezeGuardBase::IsEngaged());
}

TEST(FreezeGuard, DestroyingAnyGuardLeavesNoneInForce) {
  auto first = std::make_unique<TNetFreezeGuard>();
  TNetFreezeGuard second;
  EXPECT_EQ(GlobalFreezeGuard, &second);
  first.reset();
  EXPECT_EQ(GlobalFreezeGuard, nullptr);
}

TEST(FreezeGuard, DesignTimeRefusesASecondGuard) {
  TNetFreezeGuard first;
  TNetFreezeGuardBase::SetDesigning(true);
  ExpectRaises<ENetException>([] { TNetFreezeGuard second; }, "Only one TNetFreezeGuard can exist per application.");
  TNetFreezeGuardBase::SetDesigning(false);
}

struct PumpCase {
  bool active, onlyWhenIdle, idle, override, priority;
  int processCalls, handleOneCalls;
};

class PumpRules : public ::testing::TestWithParam<PumpCase> {};

TEST_P(PumpRules, PumpIfDuePumpsAsTheGuardIsSet) {
  const PumpCase& c = GetParam();
  FakePump pump;
  TNetFreezeGuard guard;
  guard.SetActive(c.active);
  guard.SetOnlyWhenIdle(c.onlyWhenIdle);
  guard.SetApplicationHasPriority(c.priority);
  TNetFreezeGuardBase::PumpIfDue(c.idle, c.override);
  EXPECT_EQ(pump.ProcessCalls(), c.processCalls);
  EXPECT_EQ(pump.HandleOneCalls(), c.handleOneCalls);
}

INSTANTIATE_TEST_SUITE_P(Table, PumpRules,
                         ::testing::Values(PumpCase{true, true, true, false, true, 1, 0},
                                           PumpCase{true, true, false, false, true, 0, 0},
                                           PumpCase{true, false, false, false, true, 1, 0},
                                           PumpCase{true, true, false, true, true, 1, 0},
                                           PumpCase{false, false, true, true, true, 0, 0},
                                           PumpCase{true, true, true, false, false, 0, 1}));

TEST(FreezeGuard, NothingIsPumpedWithoutAGuard) {
  FakePump pump;
  TNetFreezeGuardBase::PumpIfDue(true, true);
  EXPECT_EQ(pump.Calls(), 0);
}

}  // namespace
