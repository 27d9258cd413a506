// The baseline of the start-up benchmark: the least a GTK + WebKitGTK program does to show a
// page and hear from it. A window, a web view with default settings, one message channel, the
// page loaded from a file URL. Every message the page posts is printed on stdout, one a line;
// the program quits when the page posts "quit".
//
// Usage: bare_webkit PAGE_FOLDER

#include <webkit2/webkit2.h>

#include <cstdio>
#include <cstring>

namespace {

void OnMessage(WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer) {
  JSCValue* value = webkit_javascript_result_get_js_value(result);
  gchar* text = jsc_value_to_string(value);
  std::printf("%s\n", text);
  std::fflush(stdout);
  if (std::strstr(text, "quit") != nullptr) gtk_main_quit();
  g_free(text);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  gtk_init(&argc, &argv);
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_default_size(GTK_WINDOW(window), 520, 420);
  g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);

  WebKitUserContentManager* content = webkit_user_content_manager_new();
  g_signal_connect(content, "script-message-received::quillfetch", G_CALLBACK(OnMessage), nullptr);
  webkit_user_content_manager_register_script_message_handler(content, "quillfetch");
  GtkWidget* view = webkit_web_view_new_with_user_content_manager(content);
  gtk_container_add(GTK_CONTAINER(window), view);
  gtk_widget_show_all(window);

  gchar* page = g_build_filename(argv[1], "index.html", nullptr);
  gchar* uri = g_filename_to_uri(page, nullptr, nullptr);
  webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), uri);
  g_free(uri);
  g_free(page);
  gtk_main();
  return 0;
}
