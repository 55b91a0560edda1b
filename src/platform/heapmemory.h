#pragma once

namespace korvel {

// Hands the free pages of the allocator's heap back to the system. Each
// capture allocates and frees tens of megabytes of pixels; freed chunks
// scattered through the heap otherwise stay resident between captures, and a
// tray program that runs for weeks would slowly grow. Costs a walk of the
// heap: call it when a capture has ended, not while one runs.
void returnFreeHeapMemory();

} // namespace korvel
