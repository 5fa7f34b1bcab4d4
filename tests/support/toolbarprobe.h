#pragma once

// Probes for suites that drive a live toolbar: the connector's signals in
// the order they fire, and the toolbar's own observer (to write a value as
// the toolbar does).

#include "base.h"
#include "livetoolbar.h"
#include "values.h"

#include <QHash>
#include <QMetaMethod>
#include <QObject>
#include <QStringList>
#include <QThread>

namespace vrxtest {

// The connector's signals ("signalRecordRemoved" as "RecordRemoved"), in
// firing order, with the thread each fired on.
class SignalLog : public QObject
{
    Q_OBJECT
public:
    explicit SignalLog(QObject* connector)
    {
        const QMetaObject* meta = connector->metaObject();
        const QMetaMethod slot = staticMetaObject.method(staticMetaObject.indexOfSlot("log()"));
        for (int i = 0; i < meta->methodCount(); ++i) {
            const QMetaMethod method = meta->method(i);
            if (method.methodType() == QMetaMethod::Signal && method.name().startsWith("signal")) {
                m_names.insert(i, QString::fromLatin1(method.name().mid(6)));
                connect(connector, method, this, slot);
            }
        }
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
    void log()
    {
        names << m_names.value(senderSignalIndex(), QStringLiteral("?"));
        threads << QThread::currentThread();
    }

private:
    QHash<int, QString> m_names;
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
