// Connects through the system's own resolver and hosts file, in a network and mount
// namespace the test makes: there "localhost" is ::1 and 127.0.0.1, and "slow.test"
// is first an address that never answers (routed to a tun device nobody reads), then
// 127.0.0.1. The test runs itself again inside the namespace and passes when that run
// does; it needs root, unshare and ip, and is skipped without them.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "NetTestUtil.h"
#include "support/TempDir.h"

namespace {

const char kInside[] = "TAVRO_TEST_IN_NETNS";
const char kNeverAnswers[] = "2001:db8:1::1";

std::string SelfPath() {
  char path[4096] = {};
  const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  return n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string();
}

// Runs the current test again inside a fresh namespace; its exit status, 77 when the
// namespace could not be made.
int RunInNamespace() {
  const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
  TempDir dir;
  dir.Write("hosts", std::string(kNeverAnswers) + " slow.test\n127.0.0.1 slow.test\n::1 localhost\n127.0.0.1 localhost\n");
  const std::string setup = "ip link set lo up && ip tuntap add dev tavro0 mode tun && ip link set tavro0 up && "
                            "ip -6 addr add 2001:db8:1::2/64 dev tavro0 nodad && mount --bind '" + dir / "hosts" +
                            "' /etc/hosts";
  const std::string command = "unshare -n -m sh -c \"" + setup + " || exit 77; exec env " + kInside + "=1 '" +
                              SelfPath() + "' --gtest_filter='" + test->test_suite_name() + "." + test->name() +
                              "'\"";
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct NameCase {
  const char* name;
  const char* host;
  const char* server;
  std::vector<std::string> tried;
};

class SystemResolver : public ::testing::TestWithParam<NameCase> {};

TEST_P(SystemResolver, ReachesTheServerThroughTheHostsFilesAddresses) {
  if (!std::getenv(kInside)) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to make a network namespace";
    if (std::system("command -v unshare >/dev/null && command -v ip >/dev/null") != 0)
      GTEST_SKIP() << "needs unshare and ip (util-linux, iproute2)";
    const int status = RunInNamespace();
    if (status == 77) GTEST_SKIP() << "no network namespace could be made here";
    EXPECT_EQ(status, 0) << "the run inside the namespace failed (its output is above)";
    return;
  }
  const NameCase& c = GetParam();
  ScriptedServer server;
  server.ListenOn(c.server);
  server.Start();
  TNetTCPClient client;
  std::vector<std::string> tried;
  RecordAttempts(client, tried);
  client.SetHost(c.host);
  client.SetPort(server.Port());
  client.SetConnectionAttemptDelay(50);
  client.OpenConnection();
  EXPECT_EQ(tried, c.tried);
  EXPECT_EQ(UsedAddress(client), c.server);
  client.CloseConnection();
  server.Stop();
}

INSTANTIATE_TEST_SUITE_P(
    Names, SystemResolver,
    ::testing::Values(NameCase{"LocalhostServerOnIPv6Only", "localhost", "::1", {"::1"}},
                      NameCase{"LocalhostServerOnIPv4Only", "localhost", "127.0.0.1", {"::1", "127.0.0.1"}},
                      NameCase{"FirstAddressNeverAnswers", "slow.test", "127.0.0.1", {kNeverAnswers, "127.0.0.1"}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
