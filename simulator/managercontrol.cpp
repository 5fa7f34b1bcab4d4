#include "managercontrol.h"

#include "managerserver.h"
#include "recordermanagersimulator.h"
#include "valuebridge.h"

#include "values.h"

#include <QStringList>

#include "base.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

namespace VorexSim {

namespace {

std::atomic<qint64> g_testClock{0};
std::mutex g_crashMutex;
std::string g_crashAt; // under g_crashMutex

QString error(const QString& why)
{
    return QStringLiteral("error: ") + why;
}

bool flagOf(const QString& word, RecorderManagerSimulator::Flag& flag)
{
    if (word == QLatin1String("record"))
        flag = RecorderManagerSimulator::RecordFlag;
    else if (word == QLatin1String("replay"))
        flag = RecorderManagerSimulator::ReplayFlag;
    else if (word == QLatin1String("pause"))
        flag = RecorderManagerSimulator::PauseSupported;
    else
        return false;
    return true;
}

class ControlServant : public PortableServer::DynamicImplementation
{
public:
    ControlServant(CORBA::ORB_ptr orb, ManagerServer* server) : m_orb(CORBA::ORB::_duplicate(orb)), m_server(server) {}

    char* _primary_interface(const PortableServer::ObjectId&, PortableServer::POA_ptr) override
    {
        return CORBA::string_dup(kRepoId);
    }
    CORBA::Boolean _is_a(const char* id) override
    {
        return id && (std::strcmp(id, kRepoId) == 0 || std::strcmp(id, "IDL:omg.org/CORBA/Object:1.0") == 0);
    }
    void invoke(CORBA::ServerRequest_ptr request) override
    {
        if (std::strcmp(request->operation(), "command") != 0)
            throw CORBA::BAD_OPERATION(0, CORBA::COMPLETED_NO);
        CORBA::NVList_ptr args;
        m_orb->create_list(0, args);
        CORBA::Any in;
        in <<= "";
        args->add_value("", in, CORBA::ARG_IN);
        request->arguments(args);
        const char* text = nullptr;
        if (!(*args->item(0)->value() >>= text) || !text)
            throw CORBA::BAD_PARAM(0, CORBA::COMPLETED_NO);
        const QString line = QString::fromUtf8(text);
        ManagerServer* server = m_server;
        const QString answer = server->onMain([server, line]() { return runControlLine(server, line); });
        CORBA::Any result;
        result <<= answer.toUtf8().constData();
        request->set_result(result);
    }

private:
    static constexpr const char* kRepoId = "IDL:VorexSim/Control:1.0";
    CORBA::ORB_var m_orb;
    ManagerServer* m_server;
};

} // namespace

QString runControlLine(ManagerServer* server, const QString& line)
{
    RecorderManagerSimulator* sim = server->simulator();
    const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const QString verb = words.value(0);
    // Every line but these names a channel first.
    int channel = -1;
    const bool needsChannel = verb != QLatin1String("time") && verb != QLatin1String("take-commands")
                           && verb != QLatin1String("connected") && verb != QLatin1String("crash-at");
    if (needsChannel) {
        bool ok = false;
        channel = words.value(1).toInt(&ok) - 1;
        if (!ok || channel < 0 || channel >= sim->ChannelCount())
            return error(QStringLiteral("'%1' wants a channel from 1 to %2").arg(verb).arg(sim->ChannelCount()));
    }
    const auto number = [&](int index, qint64& out) {
        bool ok = false;
        out = words.value(index).toLongLong(&ok);
        return ok;
    };
    qint64 n = 0;
    RecorderManagerSimulator::Flag flag = RecorderManagerSimulator::RecordFlag;

    if (verb == QLatin1String("time") && words.size() == 2 && number(1, n)) {
        setTestClock(n);
        sim->Tick();
        return QStringLiteral("ok");
    }
    if (verb == QLatin1String("take-commands") && words.size() == 1) {
        return sim->TakeCommandTexts().join(QLatin1Char('\n'));
    }
    if (verb == QLatin1String("crash-at") && words.size() == 2) {
        std::lock_guard<std::mutex> lock(g_crashMutex);
        g_crashAt = words[1].toStdString();
        return QStringLiteral("ok");
    }
    if (verb == QLatin1String("connected") && words.size() == 2) {
        // The manager's own link to its recorders: down stops what feeds the
        // channels' clients, as an unreachable manager does.
        sim->SetConnected(words[1] == QLatin1String("1"));
        return QStringLiteral("ok");
    }
    if (verb == QLatin1String("error") && words.size() <= 3) {
        sim->SetErrorCode(channel, words.value(2));
        return QStringLiteral("ok");
    }
    if (verb == QLatin1String("fail-replay") && words.size() == 3 && number(2, n) && n > 0 && n <= 0xffffffffLL) {
        sim->FailNextReplayCommand(channel, quint32(n));
        return QStringLiteral("ok");
    }
    if (verb == QLatin1String("external-record") && words.size() == 3) {
        sim->TriggerExternalRecord(channel, words[2] == QLatin1String("continuous"));
        return QStringLiteral("ok");
    }
    if (verb == QLatin1String("external-stop") && words.size() == 2) {
        sim->TriggerExternalStop(channel);
        return QStringLiteral("ok");
    }
    if (verb == QLatin1String("flag") && words.size() == 4 && flagOf(words[2], flag) && number(3, n)) {
        sim->SetFlag(channel, flag, n != 0);
        return QStringLiteral("ok");
    }
    if (verb == QLatin1String("flag-state") && words.size() == 4 && flagOf(words[2], flag) && number(3, n)) {
        sim->SetFlagState(channel, flag, int(n));
        return QStringLiteral("ok");
    }
    if (verb == QLatin1String("delete-channel") && words.size() == 2) {
        sim->DeleteChannel(channel);
        return QStringLiteral("ok");
    }
    if (verb == QLatin1String("recreate-channel") && words.size() == 2) {
        sim->RecreateChannel(channel);
        return QStringLiteral("ok");
    }
    if (verb == QLatin1String("set") && words.size() == 4) {
        // Another client writes the value: every host hears of it.
        const QString path = sim->ValuePath(channel, words[2].toLatin1().constData());
        auto value = values::Tree::Instance()->FindValue(path);
        if (!value)
            return error(QStringLiteral("no value %1").arg(path));
        const QString type = ValueBridge::encode(*value, false).section(QLatin1Char('\t'), 0, 0);
        ValueBridge::WriteResult result = ValueBridge::NoSuchValue;
        server->asClient(QStringLiteral("control"), [&]() { result = server->bridge()->write(path, type, words[3], nullptr); });
        return result == ValueBridge::Written ? QStringLiteral("ok") : error(QStringLiteral("%1 refused %2").arg(path, words[3]));
    }
    if (verb == QLatin1String("value") && words.size() == 3) {
        auto value = values::Tree::Instance()->FindValue(sim->ValuePath(channel, words[2].toLatin1().constData()));
        return value ? value->ToString() : error(QStringLiteral("no value %1").arg(words[2]));
    }
    if (verb == QLatin1String("state") && words.size() == 2) {
        return QStringLiteral("exists=%1 replay-passes=%2 replay-time=%3 recording=%4 last-record=%5")
            .arg(sim->ChannelExists(channel) ? 1 : 0)
            .arg(sim->ReplayPasses(channel))
            .arg(sim->ReplayTime(channel))
            .arg(sim->IsRecording(channel) ? 1 : 0)
            .arg(sim->LastRecordId(channel));
    }
    return error(QStringLiteral("unknown line '%1'").arg(line.left(200)));
}

void crashIfAsked(const char* operation)
{
    std::lock_guard<std::mutex> lock(g_crashMutex);
    if (!g_crashAt.empty() && g_crashAt == operation)
        std::_Exit(137);
}

void setTestClock(qint64 micros)
{
    g_testClock = micros;
    HaldaOS::SetClock([] { return g_testClock.load(); });
}

void serveTestControl(ManagerServer* server, CORBA::ORB_ptr orb)
{
    server->keepCommands();
    server->addServant(QStringLiteral("Control"), new ControlServant(orb, server));
}

} // namespace VorexSim
