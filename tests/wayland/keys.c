/* zan-wl-keys: one virtual keyboard on the Wayland compositor named by
 * WAYLAND_DISPLAY, kept for the whole run, since keyboards made per key lose
 * keys. Reads "KEYCODE STATE" lines (evdev codes, 1 pressed, 0 released) on
 * stdin, sends each and answers "ok" once the compositor has it. */
#define _GNU_SOURCE
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include "virtual-keyboard-unstable-v1-client-protocol.h"

static struct wl_seat *seat;
static struct zwp_virtual_keyboard_manager_v1 *manager;

static void global(void *data, struct wl_registry *registry, uint32_t name, const char *interface,
                   uint32_t version) {
  (void)data;
  (void)version;
  if (strcmp(interface, wl_seat_interface.name) == 0) {
    seat = wl_registry_bind(registry, name, &wl_seat_interface, 1);
  } else if (strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name) == 0) {
    manager = wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1);
  }
}

static void global_remove(void *data, struct wl_registry *registry, uint32_t name) {
  (void)data;
  (void)registry;
  (void)name;
}

static const struct wl_registry_listener listener = {global, global_remove};

int main(void) {
  struct wl_display *display = wl_display_connect(NULL);
  if (display == NULL) {
    fprintf(stderr, "zan-wl-keys: cannot connect to the Wayland compositor\n");
    return 1;
  }
  wl_registry_add_listener(wl_display_get_registry(display), &listener, NULL);
  wl_display_roundtrip(display);
  if (seat == NULL || manager == NULL) {
    fprintf(stderr, "zan-wl-keys: the compositor offers no seat or no virtual keyboard\n");
    return 1;
  }
  struct zwp_virtual_keyboard_v1 *keyboard =
      zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(manager, seat);

  /* The keymap every desktop starts with: US, evdev codes. */
  struct xkb_context *context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
  struct xkb_rule_names names = {"evdev", "pc105", "us", "", ""};
  struct xkb_keymap *keymap = xkb_keymap_new_from_names(context, &names, 0);
  char *text = keymap == NULL ? NULL : xkb_keymap_get_as_string(keymap, XKB_KEYMAP_FORMAT_TEXT_V1);
  if (text == NULL) {
    fprintf(stderr, "zan-wl-keys: no US keymap\n");
    return 1;
  }
  const size_t size = strlen(text) + 1;
  const int fd = memfd_create("keymap", MFD_CLOEXEC);
  if (fd < 0 || write(fd, text, size) != (ssize_t)size) {
    fprintf(stderr, "zan-wl-keys: cannot hand over the keymap\n");
    return 1;
  }
  zwp_virtual_keyboard_v1_keymap(keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd, size);
  wl_display_roundtrip(display);
  printf("ready\n");
  fflush(stdout);

  unsigned code;
  unsigned state;
  while (scanf("%u %u", &code, &state) == 2) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    const uint32_t ms = (uint32_t)(now.tv_sec * 1000 + now.tv_nsec / 1000000);
    zwp_virtual_keyboard_v1_key(keyboard, ms, code, state);
    wl_display_roundtrip(display);
    printf("ok\n");
    fflush(stdout);
  }
  zwp_virtual_keyboard_v1_destroy(keyboard);
  wl_display_roundtrip(display);
  close(fd);
  free(text);
  wl_display_disconnect(display);
  return 0;
}
