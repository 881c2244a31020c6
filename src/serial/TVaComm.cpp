#include "TVaComm.h"

TVaComm::TVaComm(QObject *parent) : TVaCustomComm(parent) {}
