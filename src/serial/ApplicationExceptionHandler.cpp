#include "ApplicationExceptionHandler.h"

#include <QtDebug>
#include <stdexcept>

namespace ApplicationExceptionHandler {

namespace {

Handler &installed()
{
    static Handler handler;
    return handler;
}

} // namespace

void setHandler(Handler handler)
{
    installed() = std::move(handler);
}

void handle(const std::exception &error)
{
    if (installed())
        installed()(error);
    else
        qWarning("%s", error.what());
}

void guard(const std::function<void()> &call)
{
    try {
        call();
    } catch (const std::exception &error) {
        handle(error);
    } catch (...) {
        handle(std::runtime_error("Unknown error"));
    }
}

} // namespace ApplicationExceptionHandler
