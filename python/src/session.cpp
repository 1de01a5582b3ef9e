#include "session.h"
#include "robotcore.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QDeadlineTimer>
#include <QtCore/QEventLoop>
#include <QtCore/QList>
#include <QtCore/QTimer>

#include <csignal>
#include <thread>

namespace py = pybind11;

namespace {

// How often a running call lets Python look at its signals: Ctrl-C is seen
// within this time (plus the rest of a controller request in progress).
const int SignalCheckMs = 50;
// How often runUntil() asks its condition.
const int ConditionCheckMs = 10;

int s_argc = 0;
bool s_started = false;
std::thread::id s_owner;
QList<RobotCore *> s_cores;
QTimer *s_signalTimer = nullptr;
int s_depth = 0;
// The exception to raise, as PyErr_Fetch gave it.
PyObject *s_type = nullptr;
PyObject *s_value = nullptr;
PyObject *s_traceback = nullptr;
// The loops of runUntil() in progress, innermost last.
QList<QEventLoop *> s_loops;
// While the arms stop after an interruption, nothing more interrupts.
bool s_stopping = false;

void checkSignals()
{
    {
        py::gil_scoped_acquire gil;
        if (PyErr_CheckSignals() != 0)
            Session::takeError();
    }
    if (Session::interrupted())
        Session::interruptAll();
}

// A Python callable that turns SIGTERM into KeyboardInterrupt, so that the
// wait it arrives in stops the arm first. Kept for the process's life.
py::object &termHandler()
{
    static py::object *handler = new py::object(py::cpp_function([](py::args) {
        PyErr_SetString(PyExc_KeyboardInterrupt, "terminated (SIGTERM)");
        throw py::error_already_set();
    }));
    return *handler;
}

bool inMainThread()
{
    py::module_ threading = py::module_::import("threading");
    return threading.attr("current_thread")().is(threading.attr("main_thread")());
}

} // namespace

namespace Session {

void enter()
{
    if (!s_started) {
        s_started = true;
        s_owner = std::this_thread::get_id();
        if (!QCoreApplication::instance())
            new QCoreApplication(s_argc, nullptr);
        s_signalTimer = new QTimer();
        s_signalTimer->setInterval(SignalCheckMs);
        QObject::connect(s_signalTimer, &QTimer::timeout, &checkSignals);
    }
    if (std::this_thread::get_id() != s_owner)
        throw std::runtime_error("varlo: every Robot of a program is used from one thread, the one that made the "
                                 "first Robot");
}

void add(RobotCore *core) { s_cores.append(core); }
void remove(RobotCore *core) { s_cores.removeAll(core); }

bool interrupted() { return s_type != nullptr; }
bool nested() { return s_depth > 1; }

void takeError()
{
    PyObject *type = nullptr;
    PyObject *value = nullptr;
    PyObject *traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    if (!type)
        return;
    if (s_type || s_stopping) {
        Py_XDECREF(type);
        Py_XDECREF(value);
        Py_XDECREF(traceback);
        return;
    }
    s_type = type;
    s_value = value;
    s_traceback = traceback;
}

void interruptAll()
{
    if (s_stopping)
        return;
    for (RobotCore *core : s_cores)
        core->interruptWaits();
    for (QEventLoop *loop : s_loops)
        loop->quit();
}

bool runUntil(const std::function<bool()> &done, int msecs)
{
    const QDeadlineTimer deadline(msecs < 0 ? QDeadlineTimer::Forever : QDeadlineTimer(msecs));
    if (done())
        return true;
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&]() {
        if (done() || deadline.hasExpired() || interrupted())
            loop.quit();
    });
    check.start(ConditionCheckMs);
    s_loops.append(&loop);
    while (!done() && !deadline.hasExpired() && !interrupted())
        loop.exec();
    s_loops.removeAll(&loop);
    return done();
}

Scope::Scope(Signals signals)
{
    enter();
    m_outermost = s_depth == 0;
    if (s_depth++ == 0)
        s_signalTimer->start();
    if (signals == Signals::TermToo && inMainThread()) {
        py::module_ signal = py::module_::import("signal");
        const py::object term = signal.attr("SIGTERM");
        if (signal.attr("getsignal")(term).is(signal.attr("SIG_DFL"))) {
            signal.attr("signal")(term, termHandler());
            m_termHandler = true;
        }
    }
}

Scope::~Scope()
{
    if (--s_depth == 0)
        s_signalTimer->stop();
    if (m_termHandler) {
        // Back to the default, unless the program set a handler meanwhile.
        try {
            py::module_ signal = py::module_::import("signal");
            const py::object term = signal.attr("SIGTERM");
            if (signal.attr("getsignal")(term).is(termHandler()))
                signal.attr("signal")(term, signal.attr("SIG_DFL"));
        } catch (py::error_already_set &) {
        }
    }
}

void Scope::finish()
{
    if (!interrupted())
        return;
    PyObject *type = s_type;
    PyObject *value = s_value;
    PyObject *traceback = s_traceback;
    s_type = s_value = s_traceback = nullptr;
    if (m_outermost) {
        // The stop's own waits must run to their end: a second Ctrl-C stays
        // with Python (raised after this exception), a handler's exception
        // is dropped.
        s_stopping = true;
        s_signalTimer->stop();
        {
            py::gil_scoped_release release;
            for (RobotCore *core : s_cores)
                core->stopIfMoving();
        }
        s_stopping = false;
    }
    PyErr_Restore(type, value, traceback);
    throw py::error_already_set();
}

} // namespace Session
