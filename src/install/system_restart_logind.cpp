#include "install/system_restart_logind.h"

#include <gio/gio.h>

#include <string_view>
#include <utility>

#include "base/page_results.h"

namespace {

// Releases what GLib handed out when it goes out of scope.
struct GErrorHolder {
  GError* error = nullptr;
  ~GErrorHolder() {
    if (error != nullptr) g_error_free(error);
  }
};

// The D-Bus error a refusal carries, in the codes the page knows.
uint32_t CodeOfDbusError(const GError* error) {
  if (error == nullptr || !g_dbus_error_is_remote_error(error)) return page_result::kNotSupported;
  gchar* remote = g_dbus_error_get_remote_error(error);
  const std::string name = remote != nullptr ? remote : "";
  g_free(remote);
  constexpr std::string_view kAbsent[] = {
      "org.freedesktop.DBus.Error.ServiceUnknown", "org.freedesktop.DBus.Error.NameHasNoOwner",
      "org.freedesktop.DBus.Error.UnknownMethod", "org.freedesktop.DBus.Error.UnknownObject",
      "org.freedesktop.DBus.Error.UnknownInterface"};
  constexpr std::string_view kRefused[] = {
      "org.freedesktop.DBus.Error.AccessDenied",
      "org.freedesktop.DBus.Error.InteractiveAuthorizationRequired",
      "org.freedesktop.DBus.Error.AuthFailed"};
  for (std::string_view absent : kAbsent) {
    if (name == absent) return page_result::kNotSupported;
  }
  for (std::string_view refused : kRefused) {
    if (name == refused) return page_result::kAccessDenied;
  }
  return page_result::kGenFailure;
}

class LogindRestart : public SystemRestart {
 public:
  explicit LogindRestart(std::string busAddress) : busAddress_(std::move(busAddress)) {}

  uint32_t Request(std::string& detail) override {
    GErrorHolder failure;
    GDBusConnection* bus =
        busAddress_.empty()
            ? g_bus_get_sync(G_BUS_TYPE_SYSTEM, nullptr, &failure.error)
            : g_dbus_connection_new_for_address_sync(
                  busAddress_.c_str(),
                  static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                                    G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
                  nullptr, nullptr, &failure.error);
    if (bus == nullptr) {
      detail = std::string("no system bus: ") +
               (failure.error != nullptr ? failure.error->message : "unknown error");
      return page_result::kNotSupported;
    }
    // Interactive: the system may ask the user to authorise, which takes as long as the user
    // does, so the call has no time limit.
    GVariant* reply = g_dbus_connection_call_sync(
        bus, "org.freedesktop.login1", "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
        "Reboot", g_variant_new("(b)", TRUE), nullptr,
        G_DBUS_CALL_FLAGS_ALLOW_INTERACTIVE_AUTHORIZATION, G_MAXINT, nullptr, &failure.error);
    g_object_unref(bus);
    if (reply != nullptr) {
      g_variant_unref(reply);
      return 0;
    }
    const uint32_t code = CodeOfDbusError(failure.error);
    detail = failure.error != nullptr ? failure.error->message : "no answer from logind";
    return code;
  }

 private:
  std::string busAddress_;
};

}  // namespace

std::shared_ptr<SystemRestart> MakeLogindRestart(std::string busAddress) {
  return std::make_shared<LogindRestart>(std::move(busAddress));
}

std::shared_ptr<SystemRestart> MakeSystemRestart() {
  return MakeLogindRestart("");
}
