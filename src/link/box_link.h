#pragma once

#include <QObject>
#include <QString>

namespace varnel {

// The serial line to the box. Owns the port settings read from kex.ini.
class BoxLink : public QObject {
    Q_OBJECT
public:
    explicit BoxLink(QObject* parent = nullptr) : QObject(parent) {}

    int PortNumber = 2;
    int BaudRate = 9600;
    QString Device;  // overrides PortNumber when not empty

    // Opens the line. On failure returns false and sets error to the text the user is shown.
    virtual bool OpenLink(QString& error);
};

}  // namespace varnel
