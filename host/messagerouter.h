#pragma once

#include "hostexport.h"

class Request;

// Whoever the client installs receives every message a plug-in sends and answers
// it later with Request::succeed() or Request::fail().
class PHOST_EXPORT MessageRouter
{
public:
    virtual ~MessageRouter();
    virtual void route(Request *request) = 0;
};
