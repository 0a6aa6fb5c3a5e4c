#include <KVLogger>

#include <iostream>
#include <mutex>
#include <ostream>
#include <shared_mutex>

#include <boost/core/null_deleter.hpp>
#include <boost/log/attributes/value_extraction.hpp>
#include <boost/log/core/core.hpp>
#include <boost/log/expressions.hpp>
#include <boost/log/sinks/sync_frontend.hpp>
#include <boost/log/sinks/text_ostream_backend.hpp>
#include <boost/thread/shared_mutex.hpp>

namespace velmor::logging {

namespace {

using StreamSink = boost::log::sinks::synchronous_sink<boost::log::sinks::text_ostream_backend>;

boost::shared_mutex& levelMutex() {
    static boost::shared_mutex mutex;
    return mutex;
}

// Written only under levelMutex().
Severity currentLevel = notice;

// The sink of enableLogging(), kept so that it can be replaced or removed.
std::mutex sinkMutex;
boost::shared_ptr<StreamSink> installedSink;

void removeInstalledSink() {
    if (installedSink) {
        boost::log::core::get()->remove_sink(installedSink);
        installedSink.reset();
    }
}

// Nesting depth of QuietScope objects on this thread.
thread_local int quietDepth = 0;

} // namespace

QuietScope::QuietScope() {
    ++quietDepth;
}

QuietScope::~QuietScope() {
    --quietDepth;
}

std::ostream& operator<<(std::ostream& out, Severity severity) {
    switch (severity) {
    case trace:
        return out << "trace";
    case debug:
        return out << "debug";
    case info:
        return out << "info";
    case notice:
        return out << "notice";
    case warning:
        return out << "warning";
    case error:
        return out << "error";
    case fatal:
        return out << "fatal";
    }
    return out << static_cast<std::int32_t>(severity);
}

void setLogLevel(Severity level) {
    std::unique_lock lock(levelMutex());
    currentLevel = level;
}

Severity logLevel() {
    std::shared_lock lock(levelMutex());
    return currentLevel;
}

LoggingInitializer::LoggingInitializer() {
    try {
        auto core = boost::log::core::get();
        // No global attribute means nobody configured logging: keep every statement a no-op.
        if (!core || core->get_global_attributes().empty()) {
            if (core) {
                core->set_logging_enabled(false);
            }
        }
    } catch (...) {
        std::cerr << "Error: Caught exception during logging initialization." << std::endl;
    }
}

void enableLogging(boost::shared_ptr<std::ostream> out, Severity minimum) {
    namespace expr = boost::log::expressions;
    auto backend = boost::make_shared<boost::log::sinks::text_ostream_backend>();
    backend->add_stream(std::move(out));
    backend->auto_flush(true);
    auto sink = boost::make_shared<StreamSink>(backend);
    sink->set_filter(expr::attr<Severity>("Severity") >= minimum);
    sink->set_formatter(expr::stream << "[" << expr::attr<Severity>("Severity") << "] "
                                     << expr::smessage);

    std::lock_guard lock(sinkMutex);
    auto core = boost::log::core::get();
    removeInstalledSink();
    core->add_sink(sink);
    installedSink = sink;
    core->set_logging_enabled(true);
}

void enableLoggingToStderr(Severity minimum) {
    enableLogging(boost::shared_ptr<std::ostream>(&std::clog, boost::null_deleter()), minimum);
}

void disableLogging() {
    std::lock_guard lock(sinkMutex);
    auto core = boost::log::core::get();
    core->set_logging_enabled(false);
    removeInstalledSink();
}

LogMessage::LogMessage(Severity severity) {
    auto& logger = kvLogger::get();
    // The enabled flag is checked first so that a statement costs no lock and no
    // allocation while logging is off.
    if (quietDepth == 0 && boost::log::core::get()->get_logging_enabled()) {
        record = logger.open_record(boost::log::keywords::severity = severity);
    }
    if (record) {
        stream.attach_record(record);
    }
}

LogMessage::~LogMessage() {
    if (record) {
        stream.flush();
        kvLogger::get().push_record(std::move(record));
    }
    stream.detach_from_record();
}

} // namespace velmor::logging
