// Giving back the pages of a pixel buffer that hold nothing but one clear pixel.
#pragma once

#include <cstddef>
#include <cstdint>

// Hands every whole page of [data, data + bytes) whose 32-bit words all equal `blank` back to the
// system; reading such a page again gives zeros. Meant for a window's copy of its pixels: an island drawn
// on a mostly clear window keeps a clear page for every few rows once the toolkit has painted the whole
// window, some 0.7 MB while it is collapsed. `blank` is the clear pixel, and must look like a zero pixel:
// 0 for premultiplied ARGB (transparent either way), 0xff000000 for a 24-bit window's RGB32 copy (whose
// unused top byte the display server ignores: black either way).
// Works on shared memory (the display server reads the same pages, and sees the same zeros) and on
// private anonymous memory (the heap, an anonymous map); never pass a file mapped privately, whose
// dropped pages would show the file again. Call it on the thread that writes the buffer, never while
// another thread may write it. Returns the bytes given back.
std::size_t releaseBlankPages(void* data, std::size_t bytes, std::uint32_t blank);
