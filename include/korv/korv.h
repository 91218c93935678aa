// The korv library: closed sequential pattern mining.
//
//   korv::Database db = korv::Database::read("data.bin");
//   korv::MineOptions options;
//   options.threshold = korv::Threshold::relative(0.01);
//   korv::mine(db, options, [](const korv::Pattern& p) { ...; return true; });
//
// Link with korv::korv (find_package(korv)) or `pkg-config --libs korv`.
#pragma once

#include "korv/database.h"
#include "korv/error.h"
#include "korv/event_log.h"
#include "korv/files.h"
#include "korv/mining.h"
#include "korv/progress.h"
#include "korv/statistics.h"
#include "korv/support.h"
