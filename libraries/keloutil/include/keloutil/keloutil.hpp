// SPDX-License-Identifier: MIT
/// @file
/// The class interface of keloutil: every class and KeloUtil function for C++
/// programs, together with the whole flat interface.
#ifndef KELOUTIL_KELOUTIL_HPP
#define KELOUTIL_KELOUTIL_HPP

#include <keloutil/keloutil.h>
#include <keloutil/hash.hpp>
#include <keloutil/tstr.hpp>
#include <keloutil/tpath.hpp>
#include <keloutil/kelosettings.hpp>
#include <keloutil/kelomutex.hpp>
#include <keloutil/tlock.hpp>
#include <keloutil/tprocess.hpp>
#include <keloutil/ttimer.hpp>
#include <keloutil/objectmanager.hpp>
#include <keloutil/customenv.hpp>
#include <keloutil/locales.hpp>
#include <keloutil/interop.hpp>
#include <keloutil/locations.hpp>

#endif // KELOUTIL_KELOUTIL_HPP
