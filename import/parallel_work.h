// Independent pieces of work spread over the machine's cores: the pen search measures
// its candidates side by side.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace varnoke {

// Calls work(i) once for every i in 0..count-1, on up to as many threads as the machine
// has cores (the calling thread among them), and returns when all are done. Pieces are
// taken in order, so the first ones start first. The first exception a piece throws is
// thrown again here, after every thread has stopped.
template <typename Work>
void forEachInParallel(std::size_t count, Work work) {
    std::atomic<std::size_t> next{0};
    std::exception_ptr failure;
    std::mutex failureMutex;
    auto worker = [&] {
        for (std::size_t i = next++; i < count; i = next++) {
            try {
                work(i);
            } catch (...) {
                const std::lock_guard lock(failureMutex);
                if (!failure) failure = std::current_exception();
            }
        }
    };
    const std::size_t threads = std::min<std::size_t>(count, std::max(1u, std::thread::hardware_concurrency()));
    std::vector<std::jthread> helpers;
    for (std::size_t t = 1; t < threads; ++t) helpers.emplace_back(worker);
    worker();
    helpers.clear();  // joins
    if (failure) std::rethrow_exception(failure);
}

}  // namespace varnoke
