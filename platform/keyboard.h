#pragma once
// Key messages to engine key codes, by scan code (the default) or by
// virtual-key code ("-use_virtual_codes").
#include "core/input_event.h"
#include "host/host_events.h"

#include <cstdint>

using KeyTranslator = void (*)(const host::Message& message, InputEvent& event);

// Fills the translation tables and chooses the translator; returns 0.
int keyboard_init();
void keyboard_shutdown();
// The translator keyboard_init chose (translate_scan_message before it ran).
KeyTranslator key_translator();

void translate_key_message(const host::Message& message, InputEvent& event);
void translate_scan_message(const host::Message& message, InputEvent& event);
