#pragma once

#include <QObject>

// Common base of the serial components: a non-visual object that lives on the
// main thread and belongs to its parent.
class TVaComponent : public QObject
{
    Q_OBJECT

public:
    explicit TVaComponent(QObject *parent = nullptr);
};
