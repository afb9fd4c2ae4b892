#pragma once

#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace norvane
{

/** A list of callbacks that may be added and removed while it is being called.

    Message thread only. A callback added during a call is not called until the next one;
    a callback removed during a call is not called again.
*/
template <typename... Args> class CallbackList
{
public:
    using Callback = std::function<void(Args...)>;

    struct Entry
    {
        Callback callback;
        bool active = true;
    };

    /** Keeps a callback registered for as long as it lives. Movable, not copyable. */
    class Subscription
    {
    public:
        Subscription() = default;
        Subscription(std::weak_ptr<Entry> entryIn) : entry(std::move(entryIn)) {}
        Subscription(Subscription&&) noexcept = default;
        Subscription& operator=(Subscription&& other) noexcept
        {
            reset();
            entry = std::move(other.entry);
            return *this;
        }
        ~Subscription() { reset(); }

        void reset()
        {
            if (auto e = entry.lock())
                e->active = false;
            entry.reset();
        }

    private:
        std::weak_ptr<Entry> entry;
    };

    [[nodiscard]] Subscription add(Callback callback)
    {
        auto entry = std::make_shared<Entry>(Entry{std::move(callback), true});
        pruneInactive();
        entries.push_back(entry);
        return Subscription(entry);
    }

    void call(Args... args)
    {
        // A snapshot, so that callbacks may subscribe or unsubscribe freely.
        auto snapshot = entries;
        for (auto& entry : snapshot)
            if (entry->active)
                entry->callback(args...);
    }

    bool isEmpty() const
    {
        for (auto& e : entries)
            if (e->active)
                return false;
        return true;
    }

private:
    void pruneInactive()
    {
        std::erase_if(entries, [](const auto& e) { return !e->active; });
    }

    std::vector<std::shared_ptr<Entry>> entries;
};

/** Base of every model object: an owner-wide signal sent before any of its published values
    changes, for observers that only need to know that *something* changed (views that
    redraw, the session autosave).

    Message thread only.
*/
class ObservableObject
{
public:
    using WillChange = CallbackList<>;

    ObservableObject() = default;
    ObservableObject(const ObservableObject&) = delete;
    ObservableObject& operator=(const ObservableObject&) = delete;
    virtual ~ObservableObject() = default;

    [[nodiscard]] WillChange::Subscription onWillChange(std::function<void()> callback)
    {
        return willChange.add(std::move(callback));
    }

    /** Called after any published value has changed and its handlers have run: for views that
        show the new values at once. */
    [[nodiscard]] WillChange::Subscription onDidChange(std::function<void()> callback)
    {
        return didChange.add(std::move(callback));
    }

    /** Sends the owner-wide signal; published values do this themselves. */
    void sendWillChange() { willChange.call(); }
    void sendDidChange() { didChange.call(); }

private:
    WillChange willChange, didChange;
};

/** One published value of a model object.

    Setting it runs, in order: the clamp (which may replace the new value, for example by the
    nearest bound), the owner's will-change signal, the store, the owner's change handler
    (which sees the previous value and may act on the audio nodes), the listeners, and finally
    the owner's did-change signal.
    Setting a value equal to the current one (after clamping) does nothing.

    Message thread only.
*/
template <typename T> class Published
{
public:
    using Clamp = std::function<T(const T&)>;
    using DidChange = std::function<void(const T& previous)>;
    using Listener = CallbackList<const T&>;

    Published(ObservableObject& ownerIn, T initial) : owner(ownerIn), value(std::move(initial)) {}
    Published(const Published&) = delete;
    Published& operator=(const Published&) = delete;

    const T& get() const noexcept { return value; }
    operator const T&() const noexcept { return value; }
    const T* operator->() const noexcept { return &value; }

    void set(T newValue)
    {
        if (clamp)
            newValue = clamp(newValue);
        if (newValue == value)
            return;
        owner.sendWillChange();
        T previous = std::exchange(value, std::move(newValue));
        if (didChange)
            didChange(previous);
        listeners.call(value);
        owner.sendDidChange();
    }

    Published& operator=(T newValue)
    {
        set(std::move(newValue));
        return *this;
    }

    /** Installed once by the owner: bounds every value set from then on. */
    void setClamp(Clamp c) { clamp = std::move(c); }

    /** Installed once by the owner: applies a change (to nodes, to dependent values). */
    void setDidChange(DidChange d) { didChange = std::move(d); }

    /** Called after each change with the new value. */
    [[nodiscard]] typename Listener::Subscription observe(std::function<void(const T&)> callback)
    {
        return listeners.add(std::move(callback));
    }

private:
    ObservableObject& owner;
    T value;
    Clamp clamp;
    DidChange didChange;
    Listener listeners;
};

} // namespace norvane
