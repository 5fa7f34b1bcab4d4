#pragma once

// Probes for suites that drive a live toolbar: the connector's signals in
// the order they fire, and the toolbar's own observer (to write a value as
// the toolbar does).

#include "base.h"
#include "livetoolbar.h"
#include "values.h"

#include <QObject>
#include <QStringList>
#include <QThread>

#include <vector>

namespace vrxtest {

// The connector's seven signals, in firing order, with the thread each
// fired on. Connected by signature, as the owners connect them.
class SignalLog : public QObject
{
    Q_OBJECT
public:
    explicit SignalLog(QObject* connector)
    {
        connect(connector, SIGNAL(signalRecordRemoved()), this, SLOT(recordRemoved()));
        connect(connector, SIGNAL(signalRecordDataUpdated()), this, SLOT(recordDataUpdated()));
        connect(connector, SIGNAL(signalChannelUpdated()), this, SLOT(channelUpdated()));
        connect(connector, SIGNAL(signalChannelDeleted()), this, SLOT(channelDeleted()));
        connect(connector, SIGNAL(signalRecordChanging()), this, SLOT(recordChanging()));
        connect(connector, SIGNAL(signalRecordChanged()), this, SLOT(recordChanged()));
        connect(connector, SIGNAL(signalDeviceChanged()), this, SLOT(deviceChanged()));
    }
    QStringList names;
    QList<QThread*> threads;
    // Without the channel updates, which every value creation brings.
    QStringList withoutChannelUpdates() const
    {
        QStringList out = names;
        out.removeAll(QStringLiteral("ChannelUpdated"));
        return out;
    }

private slots:
    void recordRemoved() { log("RecordRemoved"); }
    void recordDataUpdated() { log("RecordDataUpdated"); }
    void channelUpdated() { log("ChannelUpdated"); }
    void channelDeleted() { log("ChannelDeleted"); }
    void recordChanging() { log("RecordChanging"); }
    void recordChanged() { log("RecordChanged"); }
    void deviceChanged() { log("DeviceChanged"); }

private:
    void log(const char* name)
    {
        names << QLatin1String(name);
        threads << QThread::currentThread();
    }
};

// The hidden widget of a one-channel toolbar (the connector that carries the signals).
inline QWidget* toolbarWidget(LiveToolbar& live)
{
    return toolbarWidget(live.parent());
}

// The toolbar's observer, to write a value the way the toolbar does.
inline IObserver* toolbarObserver(LiveToolbar& live, int channel = 0)
{
    return dynamic_cast<IObserver*>(live.toolbar(channel));
}

} // namespace vrxtest
