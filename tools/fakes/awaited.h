#pragma once

// A coroutine's result for a test that needs it at once: the task is waited for in a
// local event loop, and what it throws is thrown here. (QCoro 0.8's own waitFor never
// returns when the task throws.)

#include <exception>
#include <optional>

#include <QEventLoop>

#include <QCoroTask>

namespace corvane::testing {

namespace detail {
template <typename T>
QCoro::Task<> settle(QCoro::Task<T> task, std::optional<T> &result, std::exception_ptr &error, bool &done,
                     QEventLoop &loop)
{
    try {
        if constexpr (std::is_void_v<T>)
            co_await task;
        else
            result.emplace(co_await task);
    } catch (...) {
        error = std::current_exception();
    }
    done = true;
    loop.quit();
}
} // namespace detail

template <typename T> T awaited(QCoro::Task<T> task)
{
    QEventLoop loop;
    std::optional<T> result;
    std::exception_ptr error;
    bool done = false;
    detail::settle(std::move(task), result, error, done, loop);
    if (!done)
        loop.exec();
    if (error)
        std::rethrow_exception(error);
    return std::move(*result);
}

} // namespace corvane::testing
