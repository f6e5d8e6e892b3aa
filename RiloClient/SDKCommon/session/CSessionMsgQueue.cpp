#include "session/CSessionMsgQueue.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

struct CSessionMsgQueue::State {
    std::mutex mu;
    std::condition_variable ready; // entries queued, or quit
    std::condition_variable idle;  // a call ended, or the thread ended
    std::deque<CSessionMsg> entries;
    std::thread thread; // until joined or detached by Stop
    bool started = false;
    bool quit = false;
    bool exited = false;
    bool busy = false; // a call runs
    const void* busySource = nullptr;
};

namespace {

// The queue whose message thread this is.
thread_local const void* t_currentQueue = nullptr;

} // namespace

CSessionMsgQueue::CSessionMsgQueue() : m_state(std::make_shared<State>()) {}

CSessionMsgQueue::~CSessionMsgQueue()
{
    Stop();
}

bool CSessionMsgQueue::Start()
{
    std::lock_guard<std::mutex> g(m_state->mu);
    if (m_state->quit)
        return false;
    if (m_state->started)
        return true;
    try {
        m_state->thread = std::thread(ThreadProc, m_state);
    } catch (const std::system_error&) {
        return false;
    }
    m_state->started = true;
    return true;
}

bool CSessionMsgQueue::IsRunning() const
{
    std::lock_guard<std::mutex> g(m_state->mu);
    return m_state->started && !m_state->quit;
}

void CSessionMsgQueue::ThreadProc(std::shared_ptr<State> st)
{
    t_currentQueue = st.get();
    std::unique_lock<std::mutex> lk(st->mu);
    for (;;) {
        st->ready.wait(lk, [&] { return st->quit || !st->entries.empty(); });
        if (st->quit)
            break;
        CSessionMsg msg = std::move(st->entries.front());
        st->entries.pop_front();
        st->busy = true;
        st->busySource = msg.Source();
        lk.unlock();
        msg.Invoke();
        msg = CSessionMsg(); // its texts go before the call counts as over
        lk.lock();
        st->busy = false;
        st->busySource = nullptr;
        st->idle.notify_all();
    }
    st->exited = true;
    st->idle.notify_all();
    lk.unlock();
    t_currentQueue = nullptr;
}

bool CSessionMsgQueue::Post(CSessionMsg&& msg)
{
    if (msg.IsEmpty()) {
        CSessionMsg dropped(std::move(msg));
        return true;
    }
    {
        std::lock_guard<std::mutex> g(m_state->mu);
        if (m_state->started && !m_state->quit) {
            m_state->entries.push_back(std::move(msg));
            m_state->ready.notify_one();
            return true;
        }
    }
    CSessionMsg refused(std::move(msg));
    return false;
}

bool CSessionMsgQueue::PostCallback(SessionMsgCallback pfn, void* param, unsigned long first,
                                    unsigned long second, const void* source)
{
    return Post(CSessionMsg::Callback(pfn, param, first, second, source));
}

int CSessionMsgQueue::PostHTTPEvent(void* queue, HTTPNotifyMessageCB cb, void* user,
                                    CHTTPCtrl* stream, unsigned long value)
{
    auto* self = static_cast<CSessionMsgQueue*>(queue);
    if (!self)
        return 0;
    return self->PostCallback(cb, user, reinterpret_cast<unsigned long>(stream), value, stream) ? 1
                                                                                                : 0;
}

size_t CSessionMsgQueue::Discard(const void* source)
{
    std::deque<CSessionMsg> dropped;
    std::unique_lock<std::mutex> lk(m_state->mu);
    auto& q = m_state->entries;
    for (auto it = q.begin(); it != q.end();) {
        if (!source || it->Source() == source) {
            dropped.push_back(std::move(*it));
            it = q.erase(it);
        } else {
            ++it;
        }
    }
    if (!OnMessageThread()) {
        m_state->idle.wait(
            lk, [&] { return !m_state->busy || (source && m_state->busySource != source); });
    }
    lk.unlock();
    return dropped.size();
}

void CSessionMsgQueue::Stop()
{
    std::deque<CSessionMsg> dropped;
    std::thread thread;
    std::unique_lock<std::mutex> lk(m_state->mu);
    m_state->quit = true;
    dropped.swap(m_state->entries);
    m_state->ready.notify_all();
    thread = std::move(m_state->thread);
    if (OnMessageThread()) {
        // Inside a call: the loop ends when it returns.
        lk.unlock();
        if (thread.joinable())
            thread.detach();
        return;
    }
    if (thread.joinable()) {
        lk.unlock();
        thread.join();
        return;
    }
    // Another caller joins or detached it: wait until the thread is over.
    if (m_state->started)
        m_state->idle.wait(lk, [&] { return m_state->exited; });
}

bool CSessionMsgQueue::OnMessageThread() const
{
    return t_currentQueue == m_state.get();
}

size_t CSessionMsgQueue::Pending() const
{
    std::lock_guard<std::mutex> g(m_state->mu);
    return m_state->entries.size();
}
