#include "serial/UiEventWait.h"

#include <mutex>

namespace {

std::mutex MakerMutex;
TUiEventWaitMaker& Maker() {
    static TUiEventWaitMaker maker;
    return maker;
}

} // namespace

void SetUiEventWaitMaker(TUiEventWaitMaker maker) {
    std::lock_guard lock(MakerMutex);
    Maker() = std::move(maker);
}

std::unique_ptr<TUiEventWait> MakeUiEventWait(std::function<void()> ready) {
    TUiEventWaitMaker maker;
    {
        std::lock_guard lock(MakerMutex);
        maker = Maker();
    }
    return maker ? maker(std::move(ready)) : nullptr;
}
