#include "config/DeviceConfig.h"

DeviceConfig::DeviceConfig(QObject *parent) : QObject(parent) {}

bool DeviceConfig::fromByteArray(const QByteArray &image)
{
    m_parameters.clear();
    int offset = 0;
    ConfigParameter record;
    while (record.fromByteArray(image, offset)) {
        m_parameters.append(record);
        offset += recordSize();
    }
    return offset == image.size();
}

QByteArray DeviceConfig::toByteArray() const
{
    QByteArray image;
    image.reserve(m_parameters.size() * recordSize());
    for (const ConfigParameter &record : m_parameters)
        image.append(record.toByteArray());
    return image;
}
