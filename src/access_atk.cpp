// Screen readers on Linux and the BSDs: the window's text through AT-SPI2,
// which Orca reads, by ATK and its bridge, with no toolkit. The tree is the
// application, a frame named "windowname" that is active while the window
// has the keyboard focus, and in it one label, focused with the frame, whose
// name and text are what the window shows: Orca speaks a new name of the
// focused object, and ignores a label's text changes.
//
// The bridge speaks D-Bus from GLib's main loop, on a thread of its own
// where every ATK object lives; the main thread hands it the text and the
// focus. The thread starts once the first frame is presented, so that frame
// comes no later, and turns the bridge on only when the accessibility bus
// says that a screen reader or another assistive technology runs
// (org.a11y.Status, as Qt and Chromium read it). Until then it sleeps on the
// session bus, and nothing wakes the program while it waits for a key.
#include <atk-bridge.h>
#include <atk/atk.h>
#include <gio/gio.h>
#include <pthread.h>

#include <string>

#include "access.hpp"
#include "sdl.hpp"

namespace {

// One node of the tree: each has at most one child and is its parent's only
// child. A GObject instance, so plain data alone.
struct Node {
  AtkObject object;
  AtkObject* child;
  bool on;  // the frame: active; the label: focused
};
struct NodeClass {
  AtkObjectClass object;
};

AtkObjectClass* object_class = nullptr;  // AtkObject's own methods
AtkObject* application = nullptr;        // the tree, made once the bridge goes on
AtkObject* frame = nullptr;
AtkObject* label = nullptr;
bool focused = true;  // the last that SDL said of the window's focus
bool bridged = false;

Node* node(AtkObject* object) { return reinterpret_cast<Node*>(object); }

gint node_n_children(AtkObject* object) { return node(object)->child != nullptr ? 1 : 0; }

AtkObject* node_ref_child(AtkObject* object, gint index) {
  AtkObject* const child = node(object)->child;
  return index == 0 && child != nullptr ? ATK_OBJECT(g_object_ref(child)) : nullptr;
}

gint node_index_in_parent(AtkObject* object) { return object == application ? -1 : 0; }

AtkStateSet* node_ref_state_set(AtkObject* object) {
  AtkStateSet* const states = object_class->ref_state_set(object);
  for (const AtkStateType state :
       {ATK_STATE_ENABLED, ATK_STATE_SENSITIVE, ATK_STATE_VISIBLE, ATK_STATE_SHOWING}) {
    atk_state_set_add_state(states, state);
  }
  if (object == label) {
    atk_state_set_add_state(states, ATK_STATE_FOCUSABLE);
  }
  if (object != application && node(object)->on) {
    atk_state_set_add_state(states, object == frame ? ATK_STATE_ACTIVE : ATK_STATE_FOCUSED);
  }
  return states;
}

void node_class_init(gpointer klass, gpointer /*data*/) {
  auto* const object = static_cast<AtkObjectClass*>(klass);
  object_class = static_cast<AtkObjectClass*>(g_type_class_peek_parent(klass));
  object->get_n_children = node_n_children;
  object->ref_child = node_ref_child;
  object->get_index_in_parent = node_index_in_parent;
  object->ref_state_set = node_ref_state_set;
}

// The label's text is its name.
gchar* label_get_text(AtkText* text, gint start, gint end) {
  const char* const name = atk_object_get_name(ATK_OBJECT(text));
  const glong length = g_utf8_strlen(name, -1);
  return g_utf8_substring(name, CLAMP(start, 0, length), end < 0 ? length : CLAMP(end, 0, length));
}
gint label_get_character_count(AtkText* text) {
  return static_cast<gint>(g_utf8_strlen(atk_object_get_name(ATK_OBJECT(text)), -1));
}
gint label_get_caret_offset(AtkText* /*text*/) { return 0; }
void label_text_init(gpointer iface, gpointer /*data*/) {
  auto* const text = static_cast<AtkTextIface*>(iface);
  text->get_text = label_get_text;
  text->get_character_count = label_get_character_count;
  text->get_caret_offset = label_get_caret_offset;
}
// A frame that is a window: Orca follows the active window by its signals.
void frame_window_init(gpointer /*iface*/, gpointer /*data*/) {}

// A type of node, with the interface given, if any.
GType node_type(const char* name, GType iface = 0, GInterfaceInitFunc init = nullptr) {
  const GType type =
      g_type_register_static_simple(ATK_TYPE_OBJECT, name, sizeof(NodeClass), node_class_init,
                                    sizeof(Node), nullptr, static_cast<GTypeFlags>(0));
  if (iface != 0) {
    const GInterfaceInfo info = {init, nullptr, nullptr};
    g_type_add_interface_static(type, iface, &info);
  }
  return type;
}

AtkObject* make_node(GType type, AtkRole role, const char* name, AtkObject* parent) {
  AtkObject* const object = ATK_OBJECT(g_object_new(type, nullptr));
  atk_object_initialize(object, nullptr);
  atk_object_set_role(object, role);
  atk_object_set_name(object, name);
  if (parent != nullptr) {
    atk_object_set_parent(object, parent);
    node(parent)->child = object;
  }
  return object;
}

// What the bridge asks of a toolkit.
AtkObject* util_get_root() { return application; }
const gchar* util_get_toolkit_name() { return "zan-demo"; }
const gchar* util_get_toolkit_version() { return "1"; }

// The frame's activation and the label's focus follow the window's focus.
void show_focus() {
  node(frame)->on = focused;
  node(label)->on = focused;
  atk_object_notify_state_change(frame, ATK_STATE_ACTIVE, focused ? TRUE : FALSE);
  g_signal_emit_by_name(frame, focused ? "activate" : "deactivate");
  atk_object_notify_state_change(label, ATK_STATE_FOCUSED, focused ? TRUE : FALSE);
}

// A new name (zan_access_show hands over only a changed one), sent as a
// name change, the text's removal and insertion, and where this ATK has
// them (2.46, 2.50) an announcement and a polite notification.
void show_text(const char* text) {
  const std::string before = atk_object_get_name(label);
  atk_object_set_name(label, text);
  g_signal_emit_by_name(label, "text-remove", 0,
                        static_cast<gint>(g_utf8_strlen(before.c_str(), -1)), before.c_str());
  g_signal_emit_by_name(label, "text-insert", 0, static_cast<gint>(g_utf8_strlen(text, -1)), text);
  if (g_signal_lookup("announcement", ATK_TYPE_OBJECT) != 0) {
    g_signal_emit_by_name(label, "announcement", text);
  }
  if (g_signal_lookup("notification", ATK_TYPE_OBJECT) != 0) {
    const int polite = 1;  // ATK_LIVE_POLITE, from ATK 2.50 on
    g_signal_emit_by_name(label, "notification", text, polite);
  }
}

std::string waiting_text;  // the text to give the label once the bridge is on

void start_bridge() {
  if (bridged) {
    return;
  }
  bridged = true;
  auto* const util = static_cast<AtkUtilClass*>(g_type_class_ref(ATK_TYPE_UTIL));
  util->get_root = util_get_root;
  util->get_toolkit_name = util_get_toolkit_name;
  util->get_toolkit_version = util_get_toolkit_version;
  application = make_node(node_type("ZanApplication"), ATK_ROLE_APPLICATION, "zan-demo", nullptr);
  frame = make_node(node_type("ZanFrame", ATK_TYPE_WINDOW, frame_window_init), ATK_ROLE_FRAME,
                    "windowname", application);
  label = make_node(node_type("ZanLabel", ATK_TYPE_TEXT, label_text_init), ATK_ROLE_LABEL,
                    waiting_text.c_str(), frame);
  show_focus();
  atk_bridge_adaptor_init(nullptr, nullptr);
}

// Whether the accessibility bus's answer turns assistive technology on.
bool says_on(GVariant* value) {
  return value != nullptr && g_variant_is_of_type(value, G_VARIANT_TYPE_BOOLEAN) != 0 &&
         g_variant_get_boolean(value) != 0;
}

void on_status_changed(GDBusConnection* /*bus*/, const gchar* /*sender*/, const gchar* /*path*/,
                       const gchar* /*interface*/, const gchar* /*signal*/, GVariant* parameters,
                       gpointer /*data*/) {
  GVariant* changed = nullptr;
  g_variant_get_child(parameters, 1, "@a{sv}", &changed);
  for (const char* property : {"IsEnabled", "ScreenReaderEnabled"}) {
    GVariant* const value = g_variant_lookup_value(changed, property, G_VARIANT_TYPE_BOOLEAN);
    if (says_on(value)) {
      start_bridge();
    }
    if (value != nullptr) {
      g_variant_unref(value);
    }
  }
  g_variant_unref(changed);
}

void on_status(GObject* bus, GAsyncResult* result, gpointer /*data*/) {
  GVariant* const reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(bus), result, nullptr);
  if (reply == nullptr) {
    return;  // no accessibility bus runs yet; its signal will say when one does
  }
  GVariant* value = nullptr;
  g_variant_get(reply, "(v)", &value);
  if (says_on(value)) {
    start_bridge();
  }
  g_variant_unref(value);
  g_variant_unref(reply);
}

// The accessibility thread: GLib's main loop on the default context, which
// the bridge uses. Without a session bus there is nobody to tell, and it ends.
void* run_access(void* /*unused*/) {
  GDBusConnection* const bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
  if (bus == nullptr) {
    return nullptr;
  }
  g_dbus_connection_signal_subscribe(bus, "org.a11y.Bus", "org.freedesktop.DBus.Properties",
                                     "PropertiesChanged", "/org/a11y/bus", "org.a11y.Status",
                                     G_DBUS_SIGNAL_FLAGS_NONE, on_status_changed, nullptr, nullptr);
  // Asking must not start the accessibility bus where none runs.
  for (const char* property : {"IsEnabled", "ScreenReaderEnabled"}) {
    g_dbus_connection_call(bus, "org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties",
                           "Get", g_variant_new("(ss)", "org.a11y.Status", property),
                           G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NO_AUTO_START, -1, nullptr,
                           on_status, nullptr);
  }
  g_main_loop_run(g_main_loop_new(nullptr, FALSE));
  return nullptr;
}

// Runs `apply` with `data` on the accessibility thread. An idle source,
// never g_main_context_invoke(), which would run it here while that thread
// has not yet taken the context.
void hand_over(GSourceFunc apply, gpointer data) {
  GSource* const source = g_idle_source_new();
  g_source_set_callback(source, apply, data, nullptr);
  g_source_attach(source, nullptr);
  g_source_unref(source);
}

gboolean apply_text(gpointer text) {
  waiting_text = static_cast<const char*>(text);
  if (label != nullptr) {
    show_text(waiting_text.c_str());
  }
  g_free(text);
  return G_SOURCE_REMOVE;
}

gboolean apply_focus(gpointer now_focused) {
  focused = GPOINTER_TO_INT(now_focused) != 0;
  if (label != nullptr) {
    show_focus();
  }
  return G_SOURCE_REMOVE;
}

void on_focus(bool gained) { hand_over(apply_focus, GINT_TO_POINTER(gained ? 1 : 0)); }
void (*focus_watch)(bool) = on_focus;

}  // namespace

void zan_access_show(const std::string& text) {
  static bool started = false;
  static std::string shown;
  if (!started) {
    started = true;
    zan_sdl_watch_focus(&focus_watch);
    pthread_t thread;
    if (pthread_create(&thread, nullptr, run_access, nullptr) == 0) {
      pthread_detach(thread);
    }
  }
  if (text != shown) {
    shown = text;
    hand_over(apply_text, g_strdup(text.c_str()));
  }
}
