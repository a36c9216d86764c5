#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace qz {

namespace detail {
template <class T>
struct ChannelState {
    std::mutex mutex;
    std::condition_variable ready;
    std::deque<T> queue;
    int senders = 0;
    int receivers = 0;
};
}  // namespace detail

template <class T>
class Receiver;

// Sending end of an unbounded first-in first-out channel. Copies share the
// channel; when the last receiver is gone, send() reports false and drops the
// value, so a worker outliving the main loop never blocks.
template <class T>
class Sender {
public:
    Sender() = default;
    explicit Sender(std::shared_ptr<detail::ChannelState<T>> s) : state_(std::move(s)) { attach(); }
    Sender(const Sender& o) : state_(o.state_) { attach(); }
    Sender(Sender&& o) noexcept : state_(std::move(o.state_)) {}
    Sender& operator=(Sender o) noexcept {
        std::swap(state_, o.state_);
        return *this;
    }
    ~Sender() { reset(); }

    bool send(T value) const {
        if (!state_) return false;
        {
            std::lock_guard lock(state_->mutex);
            if (state_->receivers == 0) return false;
            state_->queue.push_back(std::move(value));
        }
        state_->ready.notify_one();
        return true;
    }

    // Drops this end; receivers see the channel closed once every sender did.
    void reset() {
        if (!state_) return;
        {
            std::lock_guard lock(state_->mutex);
            --state_->senders;
        }
        state_->ready.notify_all();
        state_.reset();
    }

    explicit operator bool() const { return static_cast<bool>(state_); }

private:
    void attach() {
        if (!state_) return;
        std::lock_guard lock(state_->mutex);
        ++state_->senders;
    }
    std::shared_ptr<detail::ChannelState<T>> state_;
};

// Receiving end. Copies share one queue, so several workers can take turns
// (each value goes to exactly one of them).
template <class T>
class Receiver {
public:
    Receiver() = default;
    explicit Receiver(std::shared_ptr<detail::ChannelState<T>> s) : state_(std::move(s)) { attach(); }
    Receiver(const Receiver& o) : state_(o.state_) { attach(); }
    Receiver(Receiver&& o) noexcept : state_(std::move(o.state_)) {}
    Receiver& operator=(Receiver o) noexcept {
        std::swap(state_, o.state_);
        return *this;
    }
    ~Receiver() { reset(); }

    // Never blocks.
    std::optional<T> try_recv() const {
        if (!state_) return std::nullopt;
        std::lock_guard lock(state_->mutex);
        if (state_->queue.empty()) return std::nullopt;
        T value = std::move(state_->queue.front());
        state_->queue.pop_front();
        return value;
    }

    // Everything queued right now, in arrival order.
    std::vector<T> drain() const {
        std::vector<T> out;
        if (!state_) return out;
        std::lock_guard lock(state_->mutex);
        out.reserve(state_->queue.size());
        for (auto& v : state_->queue) out.push_back(std::move(v));
        state_->queue.clear();
        return out;
    }

    // Blocks until a value arrives; nullopt once the queue is empty and every
    // sender is gone.
    std::optional<T> recv() const {
        if (!state_) return std::nullopt;
        std::unique_lock lock(state_->mutex);
        state_->ready.wait(lock, [&] { return !state_->queue.empty() || state_->senders == 0; });
        if (state_->queue.empty()) return std::nullopt;
        T value = std::move(state_->queue.front());
        state_->queue.pop_front();
        return value;
    }

    // Like recv(), giving up after the timeout.
    template <class Rep, class Period>
    std::optional<T> recv_for(std::chrono::duration<Rep, Period> timeout) const {
        if (!state_) return std::nullopt;
        std::unique_lock lock(state_->mutex);
        state_->ready.wait_for(lock, timeout, [&] { return !state_->queue.empty() || state_->senders == 0; });
        if (state_->queue.empty()) return std::nullopt;
        T value = std::move(state_->queue.front());
        state_->queue.pop_front();
        return value;
    }

    void reset() {
        if (!state_) return;
        {
            std::lock_guard lock(state_->mutex);
            --state_->receivers;
        }
        state_.reset();
    }

    explicit operator bool() const { return static_cast<bool>(state_); }

private:
    void attach() {
        if (!state_) return;
        std::lock_guard lock(state_->mutex);
        ++state_->receivers;
    }
    std::shared_ptr<detail::ChannelState<T>> state_;
};

template <class T>
std::pair<Sender<T>, Receiver<T>> make_channel() {
    auto state = std::make_shared<detail::ChannelState<T>>();
    return {Sender<T>(state), Receiver<T>(state)};
}

}  // namespace qz
