// The program's name, as its settings folder is named, and its version, as the About tab and --version show
// them.
#pragma once

inline constexpr char kApplicationName[] = "Quorrin's Veltrix";
inline constexpr char kVeltrixVersion[] = "v1.16";
inline constexpr char kVeltrixDate[] = "October, 2004";

// One heap for every thread: pictures pass through buffers of megabytes on every core, and with a heap per
// thread each keeps the megabytes it freed, so the process grows with every picture. Call once at start.
void UseOneHeap();
