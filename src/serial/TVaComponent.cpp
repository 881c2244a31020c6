#include "TVaComponent.h"

TVaComponent::TVaComponent(QObject *parent) : QObject(parent) {}
