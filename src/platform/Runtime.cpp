#include "Runtime.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

#include <iconv.h>
#include <langinfo.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "ListView.h"
#include "TextConversion.h"

namespace platform {

namespace {

const QEvent::Type kDrainEvent = static_cast<QEvent::Type>(QEvent::User + 0x464);

// Lives on the GUI thread; a posted event makes it carry out the queued calls from whatever
// event loop runs (the modal loop of a dialog or of a message box).
class Dispatcher : public QObject {
public:
    bool event(QEvent* e) override {
        // The event was made by a sending thread while it held the runtime's lock. Taking that
        // lock here before reading the event lets ThreadSanitizer see the order, which Qt's
        // own (uninstrumented) queue lock hides from it.
        Runtime::Get().WakeGui();
        if (e->type() == kDrainEvent) {
            Runtime::Get().CarryOutPending(/*batch=*/true);
            return true;
        }
        return QObject::event(e);
    }
};

// Each sender waits for its answer, so sends from other threads arrive one at a time; carried out
// one per event-loop turn, each would be followed by a repaint of its window, and a pass adding
// rows would spend most of the GUI thread's time painting half-filled rows. A turn of the event
// loop therefore carries out sends while they keep coming, waiting a moment for the next one,
// for at most a part of a frame: the window is painted once per batch and user input waits no
// longer than that.
constexpr auto kBatchLength = std::chrono::milliseconds(8);
constexpr auto kNextSendWait = std::chrono::microseconds(300);

}  // namespace

WindowRecord::~WindowRecord() = default;

Runtime& Runtime::Get() {
    static Runtime* runtime = new Runtime;  // never destroyed: threads may still ask it at exit
    return *runtime;
}

void Runtime::StartGui() {
    std::lock_guard lock(m_mutex);
    m_guiThread = std::this_thread::get_id();
    m_started = true;
    m_shutDown = false;
    if (m_dispatcher == nullptr)
        m_dispatcher = new Dispatcher;
    m_drainPosted = false;
}

void Runtime::ShutDown() {
    std::deque<std::unique_ptr<Pending>> released;
    {
        std::lock_guard lock(m_mutex);
        m_shutDown = true;
        released.swap(m_pending);
        m_guiWake.notify_all();
    }
    for (auto& pending : released)
        pending->promise.set_value(0);
    QObject* dispatcher = nullptr;
    {
        std::lock_guard lock(m_mutex);
        dispatcher = m_dispatcher;
        m_dispatcher = nullptr;
    }
    delete dispatcher;
}

bool Runtime::IsShutDown() {
    std::lock_guard lock(m_mutex);
    return m_shutDown || !m_started;
}

bool Runtime::IsGuiThread() {
    std::lock_guard lock(m_mutex);
    return m_started && m_guiThread == std::this_thread::get_id();
}

HWND Runtime::Register(std::unique_ptr<WindowRecord> record) {
    std::lock_guard lock(m_mutex);
    const uintptr_t value = m_nextHandle++;
    HWND handle = reinterpret_cast<HWND>(value);
    record->handle = handle;
    m_windows[value] = std::move(record);
    return handle;
}

std::vector<std::unique_ptr<Runtime::Pending>> Runtime::TakePendingLocked(
    const std::function<bool(const Pending&)>& matches) {
    std::vector<std::unique_ptr<Pending>> taken;
    for (auto p = m_pending.begin(); p != m_pending.end();) {
        if (matches(**p)) {
            taken.push_back(std::move(*p));
            p = m_pending.erase(p);
        } else {
            ++p;
        }
    }
    return taken;
}

void Runtime::Unregister(HWND handle) {
    std::unique_ptr<WindowRecord> record;
    std::vector<std::unique_ptr<Pending>> released;
    {
        std::lock_guard lock(m_mutex);
        auto it = m_windows.find(reinterpret_cast<uintptr_t>(handle));
        if (it == m_windows.end())
            return;
        record = std::move(it->second);
        m_windows.erase(it);
        released = TakePendingLocked(
            [handle](const Pending& pending) { return pending.target == handle; });
    }
    for (auto& pending : released)
        pending->promise.set_value(0);
    if (!record)
        return;
    if (record->attached != nullptr)
        record->attached->m_hWnd = nullptr;
    // A CWnd handed out by GetDlgItem may still be held by another thread; it stays valid (and
    // answers 0, its window being gone) for the rest of the run.
    if (record->ownWrapper) {
        std::lock_guard lock(m_mutex);
        m_retiredWrappers.push_back(std::move(record->ownWrapper));
    }
}

WindowRecord* Runtime::Find(HWND handle) {
    std::lock_guard lock(m_mutex);
    auto it = m_windows.find(reinterpret_cast<uintptr_t>(handle));
    return it == m_windows.end() ? nullptr : it->second.get();
}

bool Runtime::IsLive(HWND handle) {
    return Find(handle) != nullptr;
}

std::vector<HWND> Runtime::ChildrenOf(HWND parent) {
    std::lock_guard lock(m_mutex);
    std::vector<HWND> children;
    for (auto& [value, record] : m_windows)
        if (record->parent == parent)
            children.push_back(record->handle);
    return children;
}

void Runtime::PostDrainLocked() {
    m_guiWake.notify_all();
    if (!m_drainPosted && m_dispatcher != nullptr) {
        m_drainPosted = true;
        QCoreApplication::postEvent(m_dispatcher, new QEvent(kDrainEvent));
    }
}

void Runtime::WakeGui() {
    std::lock_guard lock(m_mutex);
    m_guiWake.notify_all();
}

LRESULT Runtime::Call(HWND target, const std::function<LRESULT()>& operation) {
    std::shared_ptr<ThreadState> sender = CurrentThreadState();
    if (StopRequested(sender.get()))
        return 0;
    std::future<LRESULT> result;
    {
        std::unique_lock lock(m_mutex);
        if (!m_started || m_shutDown)
            return 0;
        if (target != nullptr && m_windows.count(reinterpret_cast<uintptr_t>(target)) == 0)
            return 0;
        if (m_guiThread == std::this_thread::get_id()) {
            lock.unlock();
            return operation();
        }
        auto pending = std::make_unique<Pending>();
        pending->target = target;
        pending->operation = operation;
        pending->sender = std::move(sender);
        result = pending->promise.get_future();
        m_pending.push_back(std::move(pending));
        PostDrainLocked();
    }
    return result.get();
}

void Runtime::CarryOutPending(bool batch) {
    const auto batchEnd = std::chrono::steady_clock::now() + kBatchLength;
    for (;;) {
        std::unique_ptr<Pending> pending;
        {
            std::unique_lock lock(m_mutex);
            // The drain event stays marked as posted for the whole batch, so that senders only
            // wake it: one drain event at most is ever queued, and Qt's loop gets its turn (input,
            // timers, painting) between two batches. Window operations that run an event loop of
            // their own (a modal dialog) are therefore not sent from other threads.
            m_drainPosted = true;
            if (batch && m_pending.empty() && std::chrono::steady_clock::now() < batchEnd) {
                m_guiWake.wait_for(lock, kNextSendWait,
                                   [this] { return !m_pending.empty() || m_shutDown; });
            }
            const bool turnOver = batch && std::chrono::steady_clock::now() >= batchEnd;
            if (m_pending.empty() || turnOver) {
                m_drainPosted = false;
                if (!m_pending.empty())
                    PostDrainLocked();  // the rest in the next turn
                return;
            }
            pending = std::move(m_pending.front());
            m_pending.pop_front();
        }
        // The stop of a thread is requested on this thread, so this test is exact: a thread
        // asked to stop never has a window operation carried out after that.
        LRESULT result = 0;
        if (!StopRequested(pending->sender.get()) &&
            (pending->target == nullptr || IsLive(pending->target))) {
            result = pending->operation();
        }
        pending->promise.set_value(result);
    }
}

void Runtime::AbandonCallsOf(const ThreadState* sender) {
    std::vector<std::unique_ptr<Pending>> released;
    {
        std::lock_guard lock(m_mutex);
        released = TakePendingLocked(
            [sender](const Pending& pending) { return pending.sender.get() == sender; });
    }
    for (auto& pending : released)
        pending->promise.set_value(0);
}

bool Runtime::WaitOnGui(const std::function<bool()>& done, DWORD milliseconds) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        CarryOutPending(/*batch=*/false);
        std::unique_lock lock(m_mutex);
        if (done())
            return true;
        if (!m_pending.empty())
            continue;
        if (milliseconds == 0xFFFFFFFF) {
            m_guiWake.wait(lock);
        } else if (m_guiWake.wait_until(lock, deadline) == std::cv_status::timeout) {
            if (m_pending.empty())
                return done();
        }
    }
}

LRESULT Dispatch(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    WindowRecord* record = Runtime::Get().Find(handle);
    if (record == nullptr)
        return 0;
    if (record->kind == WindowKind::Dialog && record->attached != nullptr)
        return record->attached->WindowProc(message, wParam, lParam);
    return ControlProc(*record, message, wParam, lParam);
}

QString FromAnsi(const char* text) {
    if (text == nullptr || *text == '\0')
        return {};
    iconv_t converter = iconv_open("UTF-8", nl_langinfo(CODESET));
    if (converter == reinterpret_cast<iconv_t>(-1))
        return QString::fromLatin1(text);
    std::string out;
    char* in = const_cast<char*>(text);
    std::size_t inLeft = std::strlen(text);
    char buffer[256];
    while (inLeft > 0) {
        char* o = buffer;
        std::size_t oLeft = sizeof buffer;
        const std::size_t done = iconv(converter, &in, &inLeft, &o, &oLeft);
        out.append(buffer, static_cast<std::size_t>(o - buffer));
        if (done != static_cast<std::size_t>(-1))
            break;
        if (errno == E2BIG)
            continue;
        out.append("\xEF\xBF\xBD");  // a byte the code page does not define
        ++in;
        --inLeft;
    }
    iconv_close(converter);
    return QString::fromUtf8(out.data(), static_cast<qsizetype>(out.size()));
}

std::string ToAnsi(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    return ConvertUtf8ToAnsi(utf8.constData());
}

}  // namespace platform
