#pragma once
// Guards the calls made to one subscriber or observer: calls may run on several
// threads at once, and closing the gate refuses later calls and waits for those
// under way on other threads. A call under way on the closing thread itself (a
// subscriber that ends itself) is not waited for, and no lock is held while a
// call runs, so callbacks that write what other callbacks watch cannot deadlock.

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace platform {

class DeliveryGate {
 public:
  /// Marks one call under way on this thread for as long as it lives; `admitted` is false once the gate is closed.
  class Pass {
   public:
    explicit Pass(DeliveryGate& gate) : gate_(gate), admitted_(gate.enter()) {}
    ~Pass() {
      if (admitted_) gate_.leave();
    }
    Pass(const Pass&) = delete;
    Pass& operator=(const Pass&) = delete;
    bool admitted() const noexcept { return admitted_; }

   private:
    DeliveryGate& gate_;
    bool admitted_;
  };

  /// Refuses later calls; returns once no call is under way on another thread.
  void close();

 private:
  bool enter();
  void leave();

  std::mutex mutex_;
  std::condition_variable left_;
  bool open_ = true;
  std::vector<std::thread::id> inside_;  // one entry per call under way
};

}  // namespace platform
