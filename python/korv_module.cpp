// The native part of the Python module korv (imported as korv._korv; korv/__init__.py holds the
// public functions and checks their arguments).
//
// Python sequences become a korv::Database here: items that are all ints from 0 to 2^31-1 are
// their own ids; otherwise the distinct items are sorted and numbered 0..n-1 in that order, so the
// ids, and with them the order of the patterns, follow the order of the items. Patterns go back
// to Python as (events, support) tuples, each event a tuple of the original item objects.
//
// A search runs on a thread of its own while the calling thread, with the GIL released, waits
// for it and every 50 ms takes the GIL to run Python's signal handlers. When a handler raises
// (Ctrl-C: KeyboardInterrupt), the stop flag ends the search, the thread is joined and the
// exception propagates; nothing is left running.
#include <pybind11/pybind11.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <future>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "korv/korv.h"

namespace py = pybind11;

namespace {

constexpr auto signalPollInterval = std::chrono::milliseconds(50);

py::object steal(PyObject* object) {
    if (object == nullptr) throw py::error_already_set();
    return py::reinterpret_steal<py::object>(object);
}

[[noreturn]] void raiseTypeError(const std::string& message) {
    PyErr_SetString(PyExc_TypeError, message.c_str());
    throw py::error_already_set();
}

std::string typeName(py::handle object) { return Py_TYPE(object.ptr())->tp_name; }

// Holds the cyclic garbage collector off while many tuples are built: they hold no cycles, and
// the collections their allocations would trigger cost as much as building them.
class CollectorPause {
public:
    CollectorPause() : gc_(py::module_::import("gc")), wasEnabled_(gc_.attr("isenabled")().cast<bool>()) {
        if (wasEnabled_) gc_.attr("disable")();
    }
    ~CollectorPause() {
        if (!wasEnabled_) return;
        PyObject* result = PyObject_CallMethod(gc_.ptr(), "enable", nullptr);
        if (result == nullptr)
            PyErr_Clear();
        else
            Py_DECREF(result);
    }
    CollectorPause(const CollectorPause&) = delete;
    CollectorPause& operator=(const CollectorPause&) = delete;

private:
    py::module_ gc_;
    bool wasEnabled_;
};

// How the database's item ids map back to Python objects.
struct ItemNames {
    bool identity = true;  // ids are the items themselves (ints)
    py::list items;        // items[id] when not identity; a cache of small ints when identity
    py::list singles;      // (items[id],) once made, else None: one-item events are shared

    void cacheSingles() {
        const Py_ssize_t size = PyList_GET_SIZE(items.ptr());
        singles = steal(PyList_New(size));
        for (Py_ssize_t id = 0; id < size; ++id) {
            Py_INCREF(Py_None);
            PyList_SET_ITEM(singles.ptr(), id, Py_None);
        }
    }
    PyObject* item(int32_t id) const {
        if (std::size_t(id) < std::size_t(PyList_GET_SIZE(items.ptr()))) {
            PyObject* object = PyList_GET_ITEM(items.ptr(), id);
            Py_INCREF(object);
            return object;
        }
        return PyLong_FromLong(id);
    }
    // The event (item,), new reference.
    PyObject* single(int32_t id) const {
        if (std::size_t(id) >= std::size_t(PyList_GET_SIZE(singles.ptr()))) return PyTuple_Pack(1, steal(item(id)).ptr());
        PyObject* cached = PyList_GET_ITEM(singles.ptr(), id);
        if (cached == Py_None) {
            cached = PyTuple_Pack(1, PyList_GET_ITEM(items.ptr(), id));
            if (cached == nullptr) return nullptr;
            PyList_SET_ITEM(singles.ptr(), id, cached);
            Py_DECREF(Py_None);
        }
        Py_INCREF(cached);
        return cached;
    }
};

// Patterns as the search delivers them, kept as ids until they are turned into Python objects
// with the GIL held.
struct PatternBuffer {
    std::vector<int32_t> flat;  // each pattern's events, items then -1
    std::vector<std::size_t> ends;
    std::vector<int32_t> supports;

    void add(const korv::Pattern& pattern) {
        flat.insert(flat.end(), pattern.flat.begin(), pattern.flat.end());
        ends.push_back(flat.size());
        supports.push_back(pattern.support);
    }
    std::size_t size() const { return supports.size(); }
    void clear() {
        flat.clear();
        ends.clear();
        supports.clear();
    }

    // Pattern k as (events, support).
    py::object pattern(std::size_t k, const ItemNames& names) const {
        const std::size_t begin = k == 0 ? 0 : ends[k - 1];
        const std::size_t end = ends[k];
        Py_ssize_t eventCount = 0;
        for (std::size_t i = begin; i < end; ++i) eventCount += flat[i] < 0 ? 1 : 0;
        py::object events = steal(PyTuple_New(eventCount));
        Py_ssize_t e = 0;
        for (std::size_t i = begin; i < end; ++e) {
            std::size_t stop = i;
            while (flat[stop] >= 0) ++stop;
            py::object event;
            if (stop - i == 1) {
                event = steal(names.single(flat[i]));
            } else {
                event = steal(PyTuple_New(Py_ssize_t(stop - i)));
                for (std::size_t j = i; j < stop; ++j)
                    PyTuple_SET_ITEM(event.ptr(), Py_ssize_t(j - i), steal(names.item(flat[j])).release().ptr());
            }
            PyTuple_SET_ITEM(events.ptr(), e, event.release().ptr());
            i = stop + 1;
        }
        py::object support = steal(PyLong_FromLong(supports[k]));
        py::object result = steal(PyTuple_New(2));
        PyTuple_SET_ITEM(result.ptr(), 0, events.release().ptr());
        PyTuple_SET_ITEM(result.ptr(), 1, support.release().ptr());
        return result;
    }
};

// Python sequences of events to a database (see the top of the file).
class Converter {
public:
    korv::Database convert(py::handle sequences, ItemNames& names) {
        PyObject* outer = PyObject_GetIter(sequences.ptr());
        if (outer == nullptr)
            raiseTypeError("sequences must be an iterable of sequences (lists of events), not " +
                           typeName(sequences));
        py::object sequenceIterator = steal(outer);
        std::size_t sequenceIndex = 0;
        while (PyObject* next = PyIter_Next(sequenceIterator.ptr())) {
            py::object sequence = steal(next);
            addSequence(sequence, sequenceIndex++);
            if (sequenceIndex % 1024 == 0 && PyErr_CheckSignals() != 0) throw py::error_already_set();
        }
        if (PyErr_Occurred()) throw py::error_already_set();
        if (!identity_) renumberInSortedOrder();
        names.identity = identity_;
        names.items = identity_ ? smallInts() : std::move(sorted_);
        names.cacheSingles();
        return build();
    }

private:
    void addSequence(py::handle sequence, std::size_t index) {
        if (PyUnicode_Check(sequence.ptr()) || PyBytes_Check(sequence.ptr()) || PyByteArray_Check(sequence.ptr()))
            raiseTypeError("sequence " + std::to_string(index) + " must be a list of events, not " +
                           typeName(sequence));
        PyObject* events = PyObject_GetIter(sequence.ptr());
        if (events == nullptr)
            raiseTypeError("sequence " + std::to_string(index) + " must be a list of events, not " +
                           typeName(sequence));
        py::object eventIterator = steal(events);
        while (PyObject* next = PyIter_Next(eventIterator.ptr())) {
            py::object event = steal(next);
            PyObject* e = event.ptr();
            if (PyList_Check(e) || PyTuple_Check(e) || PyAnySet_Check(e)) {
                py::object itemIterator = steal(PyObject_GetIter(e));
                while (PyObject* item = PyIter_Next(itemIterator.ptr())) addItem(steal(item), index);
                if (PyErr_Occurred()) throw py::error_already_set();
            } else {
                addItem(event, index);
            }
            words_.push_back(-1);
        }
        if (PyErr_Occurred()) throw py::error_already_set();
        words_.push_back(-2);
    }

    void addItem(py::handle item, std::size_t sequenceIndex) {
        if (identity_) {
            if (PyLong_CheckExact(item.ptr())) {
                int overflow = 0;
                const long value = PyLong_AsLongAndOverflow(item.ptr(), &overflow);
                if (overflow == 0 && value >= 0 && value <= INT32_MAX) {
                    words_.push_back(int32_t(value));
                    return;
                }
                if (value == -1 && PyErr_Occurred()) throw py::error_already_set();
            }
            leaveIdentity();
        }
        PyObject* known = PyDict_GetItemWithError(ids_.ptr(), item.ptr());
        if (known != nullptr) {
            words_.push_back(int32_t(PyLong_AsLong(known)));
            return;
        }
        if (PyErr_Occurred()) {
            PyErr_Clear();
            raiseTypeError("item " + std::string(py::repr(item)) + " in sequence " + std::to_string(sequenceIndex) +
                           " is not hashable");
        }
        if (PyList_GET_SIZE(distinct_.ptr()) >= INT32_MAX) throw korv::Error("too many distinct items");
        const auto id = int32_t(PyList_GET_SIZE(distinct_.ptr()));
        py::object idObject = steal(PyLong_FromLong(id));
        if (PyDict_SetItem(ids_.ptr(), item.ptr(), idObject.ptr()) != 0) throw py::error_already_set();
        if (PyList_Append(distinct_.ptr(), item.ptr()) != 0) throw py::error_already_set();
        words_.push_back(id);
    }

    // The first item that is not an int id: the ints so far become items like any other.
    void leaveIdentity() {
        identity_ = false;
        for (int32_t& word : words_) {
            if (word < 0) continue;
            py::object value = steal(PyLong_FromLong(word));
            PyObject* known = PyDict_GetItemWithError(ids_.ptr(), value.ptr());
            if (known != nullptr) {
                word = int32_t(PyLong_AsLong(known));
                continue;
            }
            const auto id = int32_t(PyList_GET_SIZE(distinct_.ptr()));
            py::object idObject = steal(PyLong_FromLong(id));
            if (PyDict_SetItem(ids_.ptr(), value.ptr(), idObject.ptr()) != 0) throw py::error_already_set();
            if (PyList_Append(distinct_.ptr(), value.ptr()) != 0) throw py::error_already_set();
            word = id;
        }
    }

    void renumberInSortedOrder() {
        const Py_ssize_t count = PyList_GET_SIZE(distinct_.ptr());
        py::object order;
        try {
            order = py::module_::import("builtins")
                        .attr("sorted")(py::module_::import("builtins").attr("range")(count),
                                        py::arg("key") = distinct_.attr("__getitem__"));
        } catch (py::error_already_set& error) {
            if (!error.matches(PyExc_TypeError)) throw;
            raiseTypeError(std::string("items must be mutually orderable (for example all str or all int): ") +
                           error.what());
        }
        std::vector<int32_t> rank(std::size_t(count), 0);
        sorted_ = py::list(count);
        Py_ssize_t r = 0;
        for (py::handle position : order) {
            const auto id = position.cast<Py_ssize_t>();
            rank[std::size_t(id)] = int32_t(r);
            PyObject* item = PyList_GET_ITEM(distinct_.ptr(), id);
            Py_INCREF(item);
            PyList_SET_ITEM(sorted_.ptr(), r++, item);
        }
        for (int32_t& word : words_)
            if (word >= 0) word = rank[std::size_t(word)];
    }

    // Shared objects for the ids of the database when they are ints themselves and not too many.
    py::list smallInts() const {
        int32_t largest = -1;
        for (const int32_t word : words_) largest = std::max(largest, word);
        const int32_t cached = std::min(largest + 1, int32_t(1) << 22);
        py::list ints(cached);
        for (int32_t id = 0; id < cached; ++id) PyList_SET_ITEM(ints.ptr(), id, steal(PyLong_FromLong(id)).release().ptr());
        return ints;
    }

    korv::Database build() {
        korv::Database database;
        std::vector<korv::Event> events;
        std::size_t used = 0;
        for (const int32_t word : words_) {
            if (word >= 0) {
                if (used == events.size()) events.emplace_back();
                events[used].push_back(word);
            } else if (word == -1) {
                if (used == events.size()) events.emplace_back();
                ++used;
            } else {
                database.add(std::span<const korv::Event>(events.data(), used));
                for (std::size_t e = 0; e < used; ++e) events[e].clear();
                used = 0;
            }
        }
        std::vector<int32_t>().swap(words_);
        return database;
    }

    std::vector<int32_t> words_;  // ids as read (first-sight numbers once not identity), -1, -2
    bool identity_ = true;
    py::dict ids_;                // item -> first-sight number
    py::list distinct_;           // by first-sight number
    py::list sorted_;             // by final id
};

korv::MineOptions mineOptions(bool relative, double fraction, int64_t absolute, int threads) {
    korv::MineOptions options;
    options.threshold = relative ? korv::Threshold::relative(fraction, korv::Rounding::truncated)
                                 : korv::Threshold::absolute(absolute);
    options.threads = threads;
    return options;
}

// Waits for `done` with the GIL released, running the signal handlers every poll interval; when
// one raises, sets `stop`, waits for the search to end and throws the handler's exception.
template <typename Result>
Result awaitSearch(std::future<Result>& done, std::atomic<bool>& stop) {
    bool interrupted = false;
    {
        py::gil_scoped_release release;
        while (done.wait_for(signalPollInterval) != std::future_status::ready) {
            py::gil_scoped_acquire acquire;
            if (PyErr_CheckSignals() != 0) {
                stop = true;
                interrupted = true;
                break;
            }
        }
        done.wait();
    }
    if (interrupted) {
        // The search's own failure, if any, matters less than the interruption.
        try {
            done.get();
        } catch (...) {
        }
        throw py::error_already_set();
    }
    return done.get();
}

py::list mine(py::handle sequences, bool relative, double fraction, int64_t absolute, int threads) {
    const korv::MineOptions base = mineOptions(relative, fraction, absolute, threads);
    ItemNames names;
    korv::Database database = Converter().convert(sequences, names);

    std::atomic<bool> stop{false};
    PatternBuffer found;
    korv::MineOptions options = base;
    options.stop = &stop;
    std::future<korv::MineSummary> done = std::async(std::launch::async, [&] {
        return korv::mine(std::move(database), options, [&](const korv::Pattern& pattern) {
            found.add(pattern);
            return true;
        });
    });
    awaitSearch(done, stop);

    CollectorPause pause;
    py::list result(Py_ssize_t(found.size()));
    for (std::size_t k = 0; k < found.size(); ++k)
        PyList_SET_ITEM(result.ptr(), Py_ssize_t(k), found.pattern(k, names).release().ptr());
    return result;
}

// A search whose patterns are handed to Python in chunks through a bounded queue: the search
// waits while `maxChunks` full chunks are waiting, so memory stays bounded however many patterns
// there are.
class PatternStream {
public:
    static constexpr std::size_t chunkPatterns = 1024;
    static constexpr std::size_t maxChunks = 4;

    PatternStream(py::handle sequences, bool relative, double fraction, int64_t absolute, int threads) {
        korv::MineOptions options = mineOptions(relative, fraction, absolute, threads);
        korv::Database database = Converter().convert(sequences, names_);
        options.stop = &stop_;
        worker_ = std::thread([this, options, db = std::move(database)]() mutable { run(std::move(db), options); });
    }
    ~PatternStream() { close(); }
    PatternStream(const PatternStream&) = delete;
    PatternStream& operator=(const PatternStream&) = delete;

    py::object next() {
        if (closed_) throw py::stop_iteration();
        while (position_ == current_.size()) {
            current_.clear();
            position_ = 0;
            if (!takeChunk()) throw py::stop_iteration();
        }
        return current_.pattern(position_++, names_);
    }

    // Stops the search (if still running) and waits for its thread.
    void close() {
        if (!worker_.joinable()) return;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        {
            py::gil_scoped_release release;
            worker_.join();
        }
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
        queue_.clear();
        current_.clear();
        position_ = 0;
    }

private:
    void run(korv::Database database, const korv::MineOptions& options) {
        PatternBuffer filling;
        try {
            korv::mine(std::move(database), options, [&](const korv::Pattern& pattern) {
                filling.add(pattern);
                return filling.size() < chunkPatterns || hand(filling);
            });
            if (filling.size() > 0) hand(filling);
        } catch (...) {
            std::lock_guard<std::mutex> lock(mutex_);
            error_ = std::current_exception();
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            finished_ = true;
        }
        changed_.notify_all();
    }

    // Queues `filling` once there is room; false when the stream was closed meanwhile.
    bool hand(PatternBuffer& filling) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return queue_.size() < maxChunks || stop_; });
        if (stop_) return false;
        queue_.push_back(std::move(filling));
        filling = PatternBuffer();
        lock.unlock();
        changed_.notify_all();
        return true;
    }

    // Waits for the next chunk, running the signal handlers meanwhile; false at the end.
    bool takeChunk() {
        bool interrupted = false;
        bool got = false;
        std::exception_ptr error;
        {
            py::gil_scoped_release release;
            std::unique_lock<std::mutex> lock(mutex_);
            while (true) {
                if (!queue_.empty()) {
                    current_ = std::move(queue_.front());
                    queue_.pop_front();
                    got = true;
                    break;
                }
                if (finished_ || closed_) {
                    std::swap(error, error_);
                    break;
                }
                if (changed_.wait_for(lock, signalPollInterval) == std::cv_status::timeout) {
                    lock.unlock();
                    {
                        py::gil_scoped_acquire acquire;
                        interrupted = PyErr_CheckSignals() != 0;
                    }
                    lock.lock();
                    if (interrupted) break;
                }
            }
        }
        changed_.notify_all();
        if (interrupted) throw py::error_already_set();
        if (error) std::rethrow_exception(error);
        return got;
    }

    ItemNames names_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<PatternBuffer> queue_;
    bool finished_ = false;
    bool closed_ = false;
    std::exception_ptr error_;
    std::thread worker_;
    PatternBuffer current_;  // the chunk being handed out, read by the Python thread only
    std::size_t position_ = 0;
};

py::list sequencesOf(const korv::Database& database, const std::vector<std::string>* itemNames) {
    py::list names;
    if (itemNames != nullptr) {
        names = py::list(Py_ssize_t(itemNames->size()));
        for (std::size_t id = 0; id < itemNames->size(); ++id) {
            const std::string& name = (*itemNames)[id];
            PyList_SET_ITEM(names.ptr(), Py_ssize_t(id),
                            steal(PyUnicode_DecodeUTF8(name.data(), Py_ssize_t(name.size()), "surrogateescape"))
                                .release()
                                .ptr());
        }
    }
    CollectorPause pause;
    const std::vector<int32_t> words = database.words();
    py::list sequences(Py_ssize_t(database.sequenceCount()));
    py::list sequence;
    std::vector<int32_t> event;
    Py_ssize_t s = 0;
    for (const int32_t word : words) {
        if (word >= 0) {
            event.push_back(word);
        } else if (word == -1) {
            py::object items = steal(PyTuple_New(Py_ssize_t(event.size())));
            for (std::size_t i = 0; i < event.size(); ++i) {
                PyObject* item = nullptr;
                if (itemNames != nullptr) {
                    item = PyList_GET_ITEM(names.ptr(), event[i]);
                    Py_INCREF(item);
                } else {
                    item = steal(PyLong_FromLong(event[i])).release().ptr();
                }
                PyTuple_SET_ITEM(items.ptr(), Py_ssize_t(i), item);
            }
            sequence.append(items);
            event.clear();
        } else {
            PyList_SET_ITEM(sequences.ptr(), s++, sequence.release().ptr());
            sequence = py::list();
        }
    }
    return sequences;
}

py::list readDatabase(const std::string& path) {
    korv::Database database;
    {
        py::gil_scoped_release release;
        database = korv::Database::read(path);
    }
    return sequencesOf(database, nullptr);
}

korv::EventLogOptions eventLogOptions(const std::string& sequence, const std::string& time, const std::string& item,
                                      const std::string& delimiter, bool header) {
    korv::EventLogOptions options;
    options.sequenceColumn = sequence;
    options.timeColumn = time;
    options.itemColumn = item;
    options.header = header;
    // Empty: guessed from the log. The library refuses a quote or a line break.
    if (delimiter != "tab" && delimiter.size() > 1)
        throw korv::Error("the delimiter must be one character or 'tab', not '" + delimiter + "'");
    if (!delimiter.empty()) options.delimiter = delimiter;
    return options;
}

py::list readEventLog(const std::string& path, const std::string& sequence, const std::string& time,
                      const std::string& item, const std::string& delimiter, bool header) {
    const korv::EventLogOptions options = eventLogOptions(sequence, time, item, delimiter, header);
    korv::EventLog log;
    {
        py::gil_scoped_release release;
        log = korv::readEventLog(path, options);
    }
    return sequencesOf(log.database, &log.itemNames);
}

py::list readEventLogText(const py::bytes& text, const std::string& name, const std::string& delimiter, bool header) {
    const korv::EventLogOptions options = eventLogOptions("1", "2", "3", delimiter, header);
    std::istringstream in{std::string(text)};
    korv::EventLog log;
    {
        py::gil_scoped_release release;
        log = korv::readEventLog(in, name, options);
    }
    return sequencesOf(log.database, &log.itemNames);
}

}  // namespace

PYBIND11_MODULE(_korv, module) {
    module.doc() = "Native part of korv; use the functions of the korv package.";
    py::register_exception<korv::Error>(module, "Error", PyExc_ValueError);

    module.def("mine", &mine, py::arg("sequences"), py::arg("relative"), py::arg("fraction"), py::arg("absolute"),
               py::arg("threads"),
               "All closed patterns as a list of (events, support); arguments checked by korv.mine.");
    py::class_<PatternStream>(module, "PatternStream",
                              "A running search whose patterns are read one at a time; see korv.iter_patterns.")
        .def(py::init<py::handle, bool, double, int64_t, int>(), py::arg("sequences"), py::arg("relative"),
             py::arg("fraction"), py::arg("absolute"), py::arg("threads"))
        .def("__iter__", [](py::object self) { return self; })
        .def("__next__", &PatternStream::next)
        .def("close", &PatternStream::close, "Stops the search and waits for its thread.");
    module.def("read_database", &readDatabase, py::arg("path"),
               "The sequences of a .bin, .txt or .spec file as lists of tuples of item ids.");
    module.def("read_event_log", &readEventLog, py::arg("path"), py::arg("sequence"), py::arg("time"),
               py::arg("item"), py::arg("delimiter"), py::arg("header"),
               "The sequences of an event log file, items by name.");
    module.def("read_event_log_text", &readEventLogText, py::arg("text"), py::arg("name"), py::arg("delimiter"),
               py::arg("header"), "The sequences of an event log held in memory (columns 1, 2, 3).");
}
