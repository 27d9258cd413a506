// The Linux restart against a private D-Bus daemon on which the test plays logind: the request
// that reaches logind, and how its answers and absence reach the page.

#include <gio/gio.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "install/system_restart_logind.h"
#include "support/test_environment.h"

namespace {

constexpr char kManager[] = R"(<node><interface name="org.freedesktop.login1.Manager">
  <method name="Reboot"><arg type="b" name="interactive" direction="in"/></method>
</interface></node>)";

// A private message bus (dbus-daemon) at a socket of the test's own, ended with the test.
class PrivateBus {
 public:
  PrivateBus() {
    const std::string listen = "--address=" + Address();
    const char* argv[] = {"dbus-daemon", "--session", "--nofork", listen.c_str(), nullptr};
    if (posix_spawnp(&pid_, "dbus-daemon", nullptr, nullptr, const_cast<char**>(argv), environ) !=
        0) {
      pid_ = -1;
      return;
    }
    for (int i = 0; i < 200 && !std::filesystem::exists(folder_.path() / "bus"); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
  }
  ~PrivateBus() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  // The folder's name has braces, which an address must escape.
  std::string Address() const {
    gchar* path = g_dbus_address_escape_value((folder_.path() / "bus").c_str());
    const std::string address = std::string("unix:path=") + path;
    g_free(path);
    return address;
  }
  bool Running() const { return pid_ > 0 && std::filesystem::exists(folder_.path() / "bus"); }

 private:
  TemporaryFolder folder_;
  pid_t pid_ = -1;
};

// logind's Manager on the private bus, served from a thread of its own. It answers Reboot with
// `refusal` as a D-Bus error name, or with success when that is empty.
class FakeLogind {
 public:
  FakeLogind(const std::string& address, std::string refusal) : refusal_(std::move(refusal)) {
    thread_ = std::thread([this, address] { Serve(address); });
    while (!ready_) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ~FakeLogind() {
    g_main_loop_quit(loop_);
    thread_.join();
  }

  std::atomic<int> calls{0};
  std::atomic<bool> interactive{false};
  std::atomic<bool> mayAskTheUser{false};

 private:
  void Serve(const std::string& address) {
    GMainContext* context = g_main_context_new();
    g_main_context_push_thread_default(context);
    loop_ = g_main_loop_new(context, FALSE);
    GDBusConnection* bus = g_dbus_connection_new_for_address_sync(
        address.c_str(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr);
    GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(kManager, nullptr);
    static const GDBusInterfaceVTable vtable = {&FakeLogind::OnCall, nullptr, nullptr, {}};
    g_dbus_connection_register_object(bus, "/org/freedesktop/login1", node->interfaces[0], &vtable,
                                      this, nullptr, nullptr);
    GVariant* owned = g_dbus_connection_call_sync(
        bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
        g_variant_new("(su)", "org.freedesktop.login1", 0u), nullptr, G_DBUS_CALL_FLAGS_NONE, -1,
        nullptr, nullptr);
    if (owned != nullptr) g_variant_unref(owned);
    ready_ = true;
    g_main_loop_run(loop_);
    g_dbus_connection_close_sync(bus, nullptr, nullptr);
    g_object_unref(bus);
    g_dbus_node_info_unref(node);
    g_main_loop_unref(loop_);
    g_main_context_pop_thread_default(context);
    g_main_context_unref(context);
  }

  static void OnCall(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                     const gchar* method, GVariant* parameters, GDBusMethodInvocation* invocation,
                     gpointer self) {
    auto* logind = static_cast<FakeLogind*>(self);
    if (g_strcmp0(method, "Reboot") == 0) {
      ++logind->calls;
      gboolean interactive = FALSE;
      g_variant_get(parameters, "(b)", &interactive);
      logind->interactive = interactive != FALSE;
      logind->mayAskTheUser =
          (g_dbus_message_get_flags(g_dbus_method_invocation_get_message(invocation)) &
           G_DBUS_MESSAGE_FLAGS_ALLOW_INTERACTIVE_AUTHORIZATION) != 0;
    }
    if (logind->refusal_.empty()) {
      g_dbus_method_invocation_return_value(invocation, nullptr);
    } else {
      g_dbus_method_invocation_return_dbus_error(invocation, logind->refusal_.c_str(), "refused");
    }
  }

  std::string refusal_;
  std::thread thread_;
  std::atomic<bool> ready_{false};
  GMainLoop* loop_ = nullptr;
};

TEST(SystemRestartLogindTest, AsksLogindToRebootInteractivelyAndStatesItsAnswers) {
  PrivateBus bus;
  ASSERT_TRUE(bus.Running()) << "dbus-daemon did not start";
  const std::shared_ptr<SystemRestart> restart = MakeLogindRestart(bus.Address());
  std::string detail;
  // Nobody plays logind yet: nothing to ask.
  EXPECT_EQ(restart->Request(detail), 50u);
  {
    FakeLogind logind(bus.Address(), "");
    EXPECT_EQ(restart->Request(detail), 0u);
    EXPECT_EQ(logind.calls, 1);
    EXPECT_TRUE(logind.interactive);
    // polkit may ask the user to authorise the restart.
    EXPECT_TRUE(logind.mayAskTheUser);
  }
  for (const auto& [refusal, code] :
       {std::pair{"org.freedesktop.DBus.Error.AccessDenied", 5u},
        std::pair{"org.freedesktop.DBus.Error.InteractiveAuthorizationRequired", 5u},
        std::pair{"org.freedesktop.login1.OperationInProgress", 31u}}) {
    FakeLogind logind(bus.Address(), refusal);
    detail.clear();
    EXPECT_EQ(restart->Request(detail), code) << refusal;
    EXPECT_NE(detail.find("refused"), std::string::npos) << detail;
  }
  EXPECT_EQ(MakeLogindRestart("unix:path=/nonexistent/bus")->Request(detail), 50u);
}

}  // namespace
