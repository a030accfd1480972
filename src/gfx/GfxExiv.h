#pragma once

// Readies Exiv2 once for the whole program: its warnings muted, HEIC boxes read, and its XMP toolkit given a
// lock, since captions are read while placing and locations removed while a run copies, on other threads.
void SetUpExiv2();
