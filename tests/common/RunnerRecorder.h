#pragma once

// Records every signal of a CFGRunner in the order it was emitted, so a test can check the
// sequence the interface would see ("stateChanged:Reading", "progress", "deviceConfig", ...)
// as well as the values carried.

#include "runner/CFGRunner.h"

#include <QList>
#include <QObject>
#include <QStringList>
#include <QVariant>

class RunnerRecorder : public QObject
{
    Q_OBJECT
public:
    struct Event
    {
        QString name; // signal name, with ":" and the state, parameter kind or text for
                      // stateChanged, deviceParam and alert
        QVariant value;
    };

    explicit RunnerRecorder(CFGRunner *runner);

    const QList<Event> &events() const { return m_events; }
    void clear() { m_events.clear(); }

    // Event names in order; with `filter` only those starting with one of its entries.
    QStringList names(const QStringList &filter = QStringList()) const;
    QList<double> progressValues() const;
    QStringList alerts() const;
    QList<CFGRunner::State> states() const;
    // The value of the last event of that name (exact name), invalid when none.
    QVariant last(const QString &name) const;
    int count(const QString &name) const;

private:
    void add(const QString &name, const QVariant &value = QVariant());

    QList<Event> m_events;
};
