// Everything an integrator of the component includes: values, errors,
// late-bound calls, the registry, transactions, the containers, the three
// public classes and the server entry points.
#pragma once

#include "marlcheckout/check_out_info.h"
#include "marlcheckout/check_out_update.h"
#include "marlcheckout/close_data.h"
#include "marlcheckout/containers.h"
#include "marlcheckout/dispatch.h"
#include "marlcheckout/error.h"
#include "marlcheckout/public_object.h"
#include "marlcheckout/registry.h"
#include "marlcheckout/server.h"
#include "marlcheckout/transaction.h"
#include "marlcheckout/variant.h"
