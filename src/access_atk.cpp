// Screen readers on Linux and the BSDs: the window's text through AT-SPI2,
// which Orca reads, by ATK and its bridge, with no toolkit. The tree is the
// application, a frame named "windowname" that is active while the window
// has the keyboard focus, and in it one static text, focused with the frame,
// whose name is what the window shows.
//
// The roles and events are the ones Orca 43 to 51 present, read in its code
// and its debug log (docs/libraries.md):
// - Orca speaks a new name of the object that has the focus, but drops any
//   name change of a label; a static text's it speaks, with no role name
//   from Orca 48 on.
// - Orca learns of the focus only from the frame's activation and the
//   focus's own event, and the bridge sends events only once it knows that
//   a client listens. So both are sent again whenever a new client has
//   registered its listeners, whether the screen reader came before the
//   game or after it, and whether or not another client listened first.
// - The frame is active, and the hint focused, only while SDL says the
//   window has the keyboard focus: read at the start, then at each change.
//   A focus lost and regained before the accessibility thread runs is told
//   as both, so that the return is heard.
// - The name change alone speaks each hint: an announcement as well would
//   be spoken twice (Orca 48). The hint has no text of its own beside its
//   name, which Orca 48 would read from a cache of its own that only the
//   text's change events, queued behind the name's, bring up to date.
//
// The bridge speaks D-Bus from GLib's main loop, on a thread of its own
// where every ATK object lives; the main thread hands it the latest text
// and focus. The thread starts once the first frame is presented, so that
// frame comes no later, and turns the bridge on only when the accessibility
// bus says that a screen reader or another assistive technology runs
// (org.a11y.Status, as Qt and Chromium read it). Until then it sleeps on the
// session bus, nothing is queued for it, and nothing wakes the program while
// it waits for a key. Once on, the bridge stays on for the rest of the run.
#include <atk-bridge.h>
#include <atk/atk.h>
#include <gio/gio.h>
#include <pthread.h>

#include <array>
#include <mutex>
#include <string>

#include "access.hpp"
#include "sdl.hpp"

namespace {

// What the accessibility bus says: any assistive technology, and a screen
// reader (which at-spi2-core 2.62 no longer has).
const std::array<const char*, 2> status_properties = {"IsEnabled", "ScreenReaderEnabled"};

// How long after a new client's first listener registration the state is
// sent to it: Orca registers its listeners one by one, within this.
const guint settle_ms = 250;

// One node of the tree: each has at most one child and is its parent's only
// child. A GObject instance, so plain data alone.
struct Node {
  AtkObject object;
  AtkObject* child;
  bool has_focus;  // the frame is active, the hint focused: the window has the focus
};
struct NodeClass {
  AtkObjectClass object;
};

// What the main thread hands over, all under `lock`: the latest text and
// focus, and whether a hand-over is already queued, so that there is never
// more than one. Made once and never freed: a queued hand-over may still
// read it while the process exits and runs the static destructors.
struct Latest {
  std::mutex lock;
  std::string text;
  bool focus = false;        // what SDL last said of the window's focus
  unsigned focus_turns = 0;  // how often it changed
  bool queued = false;
  bool bridged = false;  // the tree is made; the thread takes hand-overs
};
Latest& latest = *new Latest;

// The rest is the accessibility thread's alone.
AtkObjectClass* object_class = nullptr;  // AtkObject's own methods
AtkObject* application = nullptr;        // the tree, made once the bridge goes on
AtkObject* frame = nullptr;
AtkObject* hint = nullptr;
unsigned focus_turns_shown = 0;  // the focus changes the tree has taken

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
  if (object == hint) {
    atk_state_set_add_state(states, ATK_STATE_FOCUSABLE);
  }
  if (object != application && node(object)->has_focus) {
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

// The frame's activation and the hint's focus, as the window's focus is.
void show_focus(bool focused) {
  node(frame)->has_focus = focused;
  node(hint)->has_focus = focused;
  atk_object_notify_state_change(frame, ATK_STATE_ACTIVE, focused ? TRUE : FALSE);
  g_signal_emit_by_name(frame, focused ? "activate" : "deactivate");
  atk_object_notify_state_change(hint, ATK_STATE_FOCUSED, focused ? TRUE : FALSE);
}

// The hand-over: the tree takes whatever the main thread changed since.
// A focus that changed and came back since is shown leaving first.
gboolean take_latest(gpointer /*unused*/) {
  std::string text;
  bool focused = false;
  unsigned turns = 0;
  {
    const std::lock_guard<std::mutex> hold(latest.lock);
    latest.queued = false;
    text = latest.text;
    focused = latest.focus;
    turns = latest.focus_turns;
  }
  if (text != atk_object_get_name(hint)) {
    atk_object_set_name(hint, text.c_str());
  }
  if (turns != focus_turns_shown) {
    focus_turns_shown = turns;
    if (focused == node(frame)->has_focus) {
      show_focus(!focused);
    }
    show_focus(focused);
  }
  return G_SOURCE_REMOVE;
}

// Queues the hand-over on the accessibility thread, unless one is queued
// or the tree is not made. The caller holds latest.lock. An idle source,
// never g_main_context_invoke(), which would run it here.
void hand_over() {
  if (!latest.bridged || latest.queued) {
    return;
  }
  latest.queued = true;
  GSource* const source = g_idle_source_new();
  g_source_set_callback(source, take_latest, nullptr, nullptr);
  g_source_attach(source, nullptr);
  g_source_unref(source);
}

// The state goes to new clients settle_ms after they register: after the
// bridge hooks ATK's signals through the toolkit's global listeners, all at
// once, as it learns that a first client listens (each hook starts the wait
// again); and after a client not seen before registers its first listener
// with the registry.
guint (*bridge_add_listener)(GSignalEmissionHook, const gchar*) = nullptr;
guint settle_timer = 0;
GHashTable* clients = nullptr;  // the registry's clients seen so far, by bus name

gboolean send_focus(gpointer /*unused*/) {
  settle_timer = 0;
  if (node(frame)->has_focus) {
    show_focus(true);
  }
  return G_SOURCE_REMOVE;
}
void send_focus_after_wait() {
  if (settle_timer != 0) {
    g_source_remove(settle_timer);
  }
  settle_timer = g_timeout_add(settle_ms, send_focus, nullptr);
}
guint util_add_listener(GSignalEmissionHook hook, const gchar* type) {
  send_focus_after_wait();
  return bridge_add_listener(hook, type);
}

void on_listener_registered(GDBusConnection* /*bus*/, const gchar* /*sender*/,
                            const gchar* /*path*/, const gchar* /*interface*/,
                            const gchar* /*signal*/, GVariant* parameters, gpointer /*data*/) {
  const gchar* client = nullptr;
  g_variant_get_child(parameters, 0, "&s", &client);
  if (client != nullptr && g_hash_table_add(clients, g_strdup(client)) != 0) {
    send_focus_after_wait();
  }
}

// Watches the registry on the accessibility bus for clients that arrive
// once the bridge is on.
void watch_clients(GDBusConnection* session) {
  GVariant* const reply = g_dbus_connection_call_sync(
      session, "org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress", nullptr,
      G_VARIANT_TYPE("(s)"), G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr);
  if (reply == nullptr) {
    return;
  }
  const gchar* address = nullptr;
  g_variant_get(reply, "(&s)", &address);
  GDBusConnection* const bus = g_dbus_connection_new_for_address_sync(
      address,
      static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                        G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
      nullptr, nullptr, nullptr);
  g_variant_unref(reply);
  if (bus == nullptr) {
    return;
  }
  clients = g_hash_table_new_full(g_str_hash, g_str_equal, g_free, nullptr);
  // The clients that listened before the bridge came on hear the state
  // through the bridge's hook; only a new one is sent it again.
  GVariant* const known = g_dbus_connection_call_sync(
      bus, "org.a11y.atspi.Registry", "/org/a11y/atspi/registry", "org.a11y.atspi.Registry",
      "GetRegisteredEvents", nullptr, G_VARIANT_TYPE("(a(ss))"), G_DBUS_CALL_FLAGS_NONE, -1,
      nullptr, nullptr);
  if (known != nullptr) {
    GVariantIter* events = nullptr;
    const gchar* client = nullptr;
    g_variant_get(known, "(a(ss))", &events);
    while (g_variant_iter_loop(events, "(&s&s)", &client, nullptr) != 0) {
      g_hash_table_add(clients, g_strdup(client));
    }
    g_variant_iter_free(events);
    g_variant_unref(known);
  }
  g_dbus_connection_signal_subscribe(bus, "org.a11y.atspi.Registry", "org.a11y.atspi.Registry",
                                     "EventListenerRegistered", "/org/a11y/atspi/registry", nullptr,
                                     G_DBUS_SIGNAL_FLAGS_NONE, on_listener_registered, nullptr,
                                     nullptr);
}

// What the bridge asks of a toolkit.
AtkObject* util_get_root() { return application; }
const gchar* util_get_toolkit_name() { return "zan-demo"; }
const gchar* util_get_toolkit_version() { return "1"; }

GDBusConnection* session_bus = nullptr;

// Turns the bridge on, once.
void start_bridge() {
  if (application != nullptr) {
    return;
  }
  auto* const util = static_cast<AtkUtilClass*>(g_type_class_ref(ATK_TYPE_UTIL));
  util->get_root = util_get_root;
  util->get_toolkit_name = util_get_toolkit_name;
  util->get_toolkit_version = util_get_toolkit_version;
  bridge_add_listener = util->add_global_event_listener;
  util->add_global_event_listener = util_add_listener;
  application = make_node(node_type("ZanApplication"), ATK_ROLE_APPLICATION, "zan-demo", nullptr);
  frame = make_node(node_type("ZanFrame", ATK_TYPE_WINDOW, frame_window_init), ATK_ROLE_FRAME,
                    "windowname", application);
  {
    // From here on every change is handed over: none is lost in between.
    const std::lock_guard<std::mutex> hold(latest.lock);
    hint = make_node(node_type("ZanHint"), ATK_ROLE_STATIC, latest.text.c_str(), frame);
    node(frame)->has_focus = node(hint)->has_focus = latest.focus;
    focus_turns_shown = latest.focus_turns;
    latest.bridged = true;
  }
  if (atk_bridge_adaptor_init(nullptr, nullptr) != 0) {
    return;  // the tree stays, unheard: nothing can be told
  }
  watch_clients(session_bus);
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
  for (const char* property : status_properties) {
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
  session_bus = bus;
  g_dbus_connection_signal_subscribe(bus, "org.a11y.Bus", "org.freedesktop.DBus.Properties",
                                     "PropertiesChanged", "/org/a11y/bus", "org.a11y.Status",
                                     G_DBUS_SIGNAL_FLAGS_NONE, on_status_changed, nullptr, nullptr);
  // Asking must not start the accessibility bus where none runs.
  for (const char* property : status_properties) {
    g_dbus_connection_call(bus, "org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties",
                           "Get", g_variant_new("(ss)", "org.a11y.Status", property),
                           G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NO_AUTO_START, -1, nullptr,
                           on_status, nullptr);
  }
  g_main_loop_run(g_main_loop_new(nullptr, FALSE));
  return nullptr;
}

void on_focus(bool gained) {
  const std::lock_guard<std::mutex> hold(latest.lock);
  if (gained != latest.focus) {
    latest.focus = gained;
    ++latest.focus_turns;
    hand_over();
  }
}
void (*focus_watch)(bool) = on_focus;

}  // namespace

bool zan_access_start() {
  // The watch first: SDL changes the focus and queues its event together, on
  // this thread, so none is missed between the two.
  zan_sdl_watch_focus(&focus_watch);
  {
    const std::lock_guard<std::mutex> hold(latest.lock);
    latest.focus = zan_sdl_has_focus();
  }
  pthread_t thread;
  if (pthread_create(&thread, nullptr, run_access, nullptr) != 0) {
    return false;
  }
  pthread_detach(thread);
  return true;
}

void zan_access_changed(const std::string& text) {
  const std::lock_guard<std::mutex> hold(latest.lock);
  latest.text = text;
  hand_over();
}
