#pragma once

#include "hostexport.h"

#include <QtGlobal>

// Handle of a registered command; plug-ins drop it.
class PHOST_EXPORT RequestHandler
{
public:
    RequestHandler(quint16 module, quint16 command) : m_module(module), m_command(command) { }
    quint16 module() const { return m_module; }
    quint16 command() const { return m_command; }

private:
    quint16 m_module;
    quint16 m_command;
};
