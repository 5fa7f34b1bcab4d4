#pragma once

// The test control of the manager process (--test-control): scripted roads
// and tests in another process move the manager's clock and make it act as
// a real manager would on its own (errors, flags, external records, a
// deleted channel), and read what it did. Only a manager started for tests
// serves it; a production manager has no such object.
//
// One operation, "command" (in string, returns string): a line of words,
// answered with a line; an answer that starts with "error: " says why the
// line was not carried out. doc/protocol.md lists the lines.

#include <omniORB4/CORBA.h>

#include <QString>

namespace VorexSim {

class ManagerServer;

// The manager's clock under test control: it stands at `micros` (since the
// epoch) until the next "time" line. Call before the simulator starts.
void setTestClock(qint64 micros);

// Activates the control object under the fixed ID "Control"
// (corbaloc::host:port/Control), on the GUI thread after activate().
void serveTestControl(ManagerServer* server, CORBA::ORB_ptr orb);

// Runs one control line on the GUI thread; public for the unit tests.
QString runControlLine(ManagerServer* server, const QString& line);

// Ends the process at once, as a kill would, when a "crash-at" line named
// `operation`: the call that arrives is never carried out.
void crashIfAsked(const char* operation);

} // namespace VorexSim
