#ifndef DEVICECONFIG_H
#define DEVICECONFIG_H

// The dashboard's parameter table as a list of ConfigParameter records, and the byte
// image of that table in dashboard memory (22 bytes per record, back to back).
// CFGRunner owns one (devConfig): it parses what it read and serialises what it writes.

#include "config/ConfigParameter.h"

#include <QByteArray>
#include <QList>
#include <QObject>

class DeviceConfig : public QObject
{
    Q_OBJECT
public:
    explicit DeviceConfig(QObject *parent = nullptr);

    static constexpr int recordSize() { return ConfigParameter::size; }

    // Replaces the list by the records of the image. True when the image is a whole
    // number of records (0 included); a trailing partial record is ignored either way.
    bool fromByteArray(const QByteArray &image);
    QByteArray toByteArray() const;

    const QList<ConfigParameter> &parameters() const { return m_parameters; }
    void setParameters(const QList<ConfigParameter> &parameters) { m_parameters = parameters; }
    void append(const ConfigParameter &parameter) { m_parameters.append(parameter); }
    void clear() { m_parameters.clear(); }
    int count() const { return m_parameters.size(); }
    bool isEmpty() const { return m_parameters.isEmpty(); }

private:
    QList<ConfigParameter> m_parameters;
};

#endif // DEVICECONFIG_H
