// The user-mode DLLs' backend built for the host with the platform's heap
// and debugger output standing in: each trace line reaches the debugger
// whole in one call, long or cut for want of memory, from any number of
// threads; the heap gets back every block; the zero flag is passed on. Then
// the trace formatting's own comparison with printf.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "windows/common/user_mode_services.h"

#include "driver/driver.h"

int TraceFormatFailures();

namespace {

std::mutex mutex;
std::vector<std::string> calls;
int live_blocks = 0;
constexpr DWORD kUntouched = 0xFFFFFFFF;
DWORD last_flags = kUntouched;
bool heap_full = false;
int failures = 0;

void Expect(bool ok, const char* what) {
  if (ok) return;
  std::printf("FAIL: %s\n", what);
  ++failures;
}

void TestWholeLines() {
  calls.clear();
  DrvDebugPrint("DrvTextOut: Returning %d", 42);
  Expect(calls.size() == 1 && calls[0] == "DRVTEST: DrvTextOut: Returning 42\n",
         "a line is one call with its prefix and line feed");
  Expect(live_blocks == 0 && last_flags == kUntouched, "a short line takes nothing from the heap");
  std::string text(3000, 'x');
  calls.clear();
  DrvDebugPrint("[%s]", text.c_str());
  Expect(calls.size() == 1 && calls[0] == "DRVTEST: [" + text + "]\n",
         "a line of 3000 characters is one call, whole");
  heap_full = true;
  calls.clear();
  DrvDebugPrint("[%s]", text.c_str());
  heap_full = false;
  Expect(calls.size() == 1 &&
             calls[0] == ("DRVTEST: [" + text).substr(0, DRV_TRACE_STACK_CHARS) + "\n",
         "without heap room a line is cut, still one call");
  Expect(live_blocks == 0, "every block of the trace is freed");
}

// Around the stack line's length: whole each time, and a heap block only
// for a line longer than it.
void TestStackEdge() {
  const std::string prefix = "DRVTEST: ";
  for (size_t cch : {DRV_TRACE_STACK_CHARS - 1, DRV_TRACE_STACK_CHARS, DRV_TRACE_STACK_CHARS + 1}) {
    std::string text(cch - prefix.size(), 'y');
    calls.clear();
    last_flags = kUntouched;
    DrvDebugPrint("%s", text.c_str());
    Expect(calls.size() == 1 && calls[0] == prefix + text + "\n", "a line at the edge is whole");
    Expect((last_flags != kUntouched) == (cch > DRV_TRACE_STACK_CHARS),
           "the heap is asked only for a line longer than the stack's");
  }
  last_flags = kUntouched;
}

void TestThreads() {
  calls.clear();
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < 200; ++i) DrvDebugPrint("thread %d line %d of text", t, i);
    });
  }
  for (std::thread& thread : threads) thread.join();
  bool whole = calls.size() == 800;
  for (const std::string& call : calls) {
    whole = whole && call.rfind("DRVTEST: thread ", 0) == 0 && call.back() == '\n' &&
            call.find('\n') == call.size() - 1;
  }
  Expect(whole, "lines of four threads arrive whole, one call each");
}

void TestMemory() {
  void* zeroed = EngAllocMem(FL_ZERO_MEMORY, 64, 0);
  Expect(last_flags == HEAP_ZERO_MEMORY, "FL_ZERO_MEMORY asks the heap for zeroed memory");
  void* plain = EngAllocMem(0, 64, 0);
  Expect(last_flags == 0, "without FL_ZERO_MEMORY the heap is not asked to zero");
  EngFreeMem(zeroed);
  EngFreeMem(plain);
  EngFreeMem(nullptr);
  Expect(live_blocks == 0, "EngFreeMem frees, and NULL frees nothing");
}

}  // namespace

extern "C" HANDLE APIENTRY GetProcessHeap() { return reinterpret_cast<HANDLE>(0x150000); }

extern "C" PVOID APIENTRY HeapAlloc(HANDLE, DWORD dwFlags, ULONG_PTR dwBytes) {
  std::lock_guard<std::mutex> lock(mutex);
  last_flags = dwFlags;
  if (heap_full) return nullptr;
  ++live_blocks;
  void* block = std::malloc(dwBytes);
  if (dwFlags & HEAP_ZERO_MEMORY) std::memset(block, 0, dwBytes);
  return block;
}

extern "C" BOOL APIENTRY HeapFree(HANDLE, DWORD, PVOID lpMem) {
  std::lock_guard<std::mutex> lock(mutex);
  --live_blocks;
  std::free(lpMem);
  return TRUE;
}

extern "C" VOID APIENTRY OutputDebugStringA(const char* lpOutputString) {
  std::lock_guard<std::mutex> lock(mutex);
  calls.emplace_back(lpOutputString);
}

int main() {
  TestWholeLines();
  TestStackEdge();
  TestThreads();
  TestMemory();
  if (failures == 0) std::printf("ok: whole trace lines and the heap's blocks\n");
  return failures + TraceFormatFailures() == 0 ? 0 : 1;
}
