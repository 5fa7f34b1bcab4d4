#pragma once

// The manager process's channel values as the text messages of the central
// service's notifications (doc/protocol.md, "Values"), and client writes back
// into the tree.
//
// GUI thread only: the manager changes its tree from its event loop and
// posts the clients' writes there, so the tree notifies the bridge on that
// thread.

#include "values.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace VorexSim {

struct ValueEvent
{
    int channel = -1;  // index into the bridge's channels
    bool deleted = false;
    QString path;
    QString text;      // kind 1: "<path>\t<type>\t<state>\t<data>"; kind 2: "<path>"
    QString origin;    // the client on whose behalf the change was made; empty: the manager
};

class ValueBridge : private IObserver
{
public:
    // One entry per channel: its node and its replay time value.
    ValueBridge(const QStringList& channelPaths, const QStringList& replayTimePaths);
    ~ValueBridge() override;
    ValueBridge(const ValueBridge&) = delete;
    ValueBridge& operator=(const ValueBridge&) = delete;

    // Every change from start() on, in the order the tree made them.
    void start(std::function<void(const ValueEvent&)> sink);
    void stop();

    // The channel whose node is named `name` ("Channel3"), or -1.
    int channelIndex(const QString& name) const;
    QString channelName(int channel) const;
    // The channel whose node or replay time holds `path`, or -1.
    int channelOfPath(const QString& path) const;

    // Every current value of the channel, selections with their items.
    std::vector<ValueEvent> snapshot(int channel) const;

    enum WriteResult { Written, NoSuchValue, WrongType, BadData };
    // A client's write (RegisterValues): the value must exist with that type.
    WriteResult write(const QString& path, const QString& type, const QString& data, IObserver* writer);

    // Changes made while an origin is set are tagged with it.
    void setOrigin(const QString& client) { m_origin = client; }

    // "<type>\t<state>\t<data>" of a value; selections carry their items
    // ("key|k=text|k=text") when `withItems`.
    static QString encode(const values::ValueBase& value, bool withItems);

private:
    void Update(Observable* observable, TChangeCode code) override;
    void rescan(int channel);
    void collect(int channel, std::vector<std::shared_ptr<values::ValueBase>>& out) const;
    void emitValue(int channel, const values::ValueBase& value, bool withItems);
    void emitDeleted(int channel, const QString& path);

    struct Channel
    {
        QString path;
        QString replayTimePath;
        std::shared_ptr<values::Node> node;       // observed for children coming and going
        std::shared_ptr<values::Node> replayParent;
    };
    struct Watched
    {
        int channel;
        QString path;
        std::shared_ptr<values::ValueBase> value;
    };
    std::vector<Channel> m_channels;
    std::map<Observable*, Watched> m_values;
    std::map<Observable*, int> m_nodes;            // channel nodes and replay-time parents
    std::vector<std::shared_ptr<values::Node>> m_parents; // where channel nodes appear
    std::function<void(const ValueEvent&)> m_sink;
    QString m_origin;
};

} // namespace VorexSim
