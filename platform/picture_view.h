// The picture view: a self-painted child window that keeps the bytes of an encoded image and shows it.
#pragma once

#include <windows.h>

#include "core/text.h"

// The window class of picture views; registered once before the first one is created.
inline constexpr char pictureViewClass[] = "PorvantaPicture";
bool registerPictureView(HINSTANCE instance);

// Stores a copy of exactly these bytes, discards the shown image, decodes the new one and repaints.
// Bytes that are empty or no decodable image are stored all the same; only the background shows.
void setPicture(HWND view, const Bytes& bytes);
// A fresh copy of the stored bytes; empty when none are stored.
Bytes getPicture(HWND view);
// Whether the stored bytes decoded to an image that is being shown.
bool pictureShown(HWND view);
