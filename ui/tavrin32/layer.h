// What the windowed layer's files share: the engine's host table, reporting events to the
// engine and the peer functions of the layer's table (ui/visual_host.h).
#pragma once
#include <cstddef>
#include <cstdint>

#include "ui/visual_host.h"

namespace tavrin32 {

extern const TavrinVisualHost* g_host;
// Set when the layer chose the offscreen platform because there is no display: the first
// form shown says so once on stderr.
extern bool g_offscreenFallback;

// Reports an event to the engine (nothing once the engine has let go of the layer).
void report(TavrinEvent& e);

// The peer functions.
TavrinPeer createPeer(int32_t type, const char* typeName, int32_t instance);
int32_t setParent(TavrinPeer peer, TavrinPeer parent);
int32_t setOwner(TavrinPeer peer, TavrinPeer owner);
int32_t setGeometry(TavrinPeer peer, int32_t x, int32_t y, int32_t width, int32_t height);
int32_t setInt(TavrinPeer peer, int32_t attr, int32_t value);
int32_t setText(TavrinPeer peer, int32_t attr, const char* bytes, size_t length);
int32_t setPicture(TavrinPeer peer, int32_t attr, const uint8_t* bytes, size_t length);
int32_t runModal(TavrinPeer peer);
int32_t endModal(TavrinPeer peer);
int32_t moveByMouse(TavrinPeer peer);
int32_t wake();
int32_t cursorPos(int32_t* x, int32_t* y);
// Before Qt ends: every modal loop ends, every widget and timer goes.
void destroyPeers();

}  // namespace tavrin32
