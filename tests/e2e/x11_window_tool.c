// A small X11 tool for the end-to-end tests, which run without a window manager:
//   x11_window_tool list PID      the mapped top-level windows of process PID, one per line:
//                                 "<id> <x> <y> <width> <height>"
//   x11_window_tool close ID      asks window ID to close, as a window manager's close button
//                                 does (WM_PROTOCOLS / WM_DELETE_WINDOW)
//   x11_window_tool mapped        how many windows are mapped on the root (popup menus count)
//   x11_window_tool pixel ID X Y  the colour at (X, Y) inside window ID: "<red> <green> <blue>",
//                                 each 0-255, as the screen shows it
//   x11_window_tool name ID       window ID's name (_NET_WM_NAME, UTF-8), on one line
// Exit code 0 on success, 1 when the pixel or the name cannot be read, 2 on bad usage, 3 when the display
// cannot be opened.

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static long WindowPid(Display* display, Window window, Atom pidAtom) {
  Atom type;
  int format;
  unsigned long count, after;
  unsigned char* data = NULL;
  long pid = -1;
  if (XGetWindowProperty(display, window, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &count,
                         &after, &data) == Success &&
      data != NULL && count == 1 && format == 32) {
    pid = (long)*(unsigned long*)data;
  }
  if (data != NULL) XFree(data);
  return pid;
}

static int ListWindows(Display* display, long pid, int onlyCount) {
  Window root = DefaultRootWindow(display), parent, *children = NULL;
  unsigned int count = 0;
  Atom pidAtom = XInternAtom(display, "_NET_WM_PID", False);
  int found = 0;
  if (!XQueryTree(display, root, &root, &parent, &children, &count)) return 0;
  for (unsigned int i = 0; i < count; ++i) {
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, children[i], &attributes)) continue;
    if (attributes.map_state != IsViewable) continue;
    if (!onlyCount && WindowPid(display, children[i], pidAtom) != pid) continue;
    ++found;
    if (!onlyCount) {
      printf("%lu %d %d %d %d\n", (unsigned long)children[i], attributes.x, attributes.y,
             attributes.width + 2 * attributes.border_width,
             attributes.height + 2 * attributes.border_width);
    }
  }
  if (children != NULL) XFree(children);
  if (onlyCount) printf("%d\n", found);
  return found;
}

static void SendDelete(Display* display, Window window) {
  XEvent event;
  memset(&event, 0, sizeof event);
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = (long)XInternAtom(display, "WM_DELETE_WINDOW", False);
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(display, window, False, NoEventMask, &event);
  XSync(display, False);
}

static int PrintPixel(Display* display, Window window, int x, int y) {
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(display, window, &attributes)) return 1;
  XImage* image = XGetImage(display, window, x, y, 1, 1, AllPlanes, ZPixmap);
  if (image == NULL) return 1;
  XColor colour;
  colour.pixel = XGetPixel(image, 0, 0);
  XDestroyImage(image);
  XQueryColor(display, attributes.colormap, &colour);
  printf("%d %d %d\n", colour.red >> 8, colour.green >> 8, colour.blue >> 8);
  return 0;
}

static int PrintName(Display* display, Window window) {
  Atom type;
  int format;
  unsigned long count, after;
  unsigned char* data = NULL;
  const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
  if (XGetWindowProperty(display, window, XInternAtom(display, "_NET_WM_NAME", False), 0, 4096,
                         False, utf8, &type, &format, &count, &after, &data) != Success ||
      data == NULL || type != utf8 || format != 8) {
    if (data != NULL) XFree(data);
    return 1;
  }
  printf("%.*s\n", (int)count, (const char*)data);
  XFree(data);
  return 0;
}

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  Display* display = XOpenDisplay(NULL);
  if (display == NULL) {
    fprintf(stderr, "cannot open display\n");
    return 3;
  }
  int status = 0;
  if (strcmp(argv[1], "list") == 0 && argc == 3) {
    ListWindows(display, strtol(argv[2], NULL, 10), 0);
  } else if (strcmp(argv[1], "mapped") == 0 && argc == 2) {
    ListWindows(display, 0, 1);
  } else if (strcmp(argv[1], "close") == 0 && argc == 3) {
    SendDelete(display, (Window)strtoul(argv[2], NULL, 10));
  } else if (strcmp(argv[1], "pixel") == 0 && argc == 5) {
    status = PrintPixel(display, (Window)strtoul(argv[2], NULL, 10), atoi(argv[3]), atoi(argv[4]));
  } else if (strcmp(argv[1], "name") == 0 && argc == 3) {
    status = PrintName(display, (Window)strtoul(argv[2], NULL, 10));
  } else {
    status = 2;
  }
  XCloseDisplay(display);
  return status;
}
