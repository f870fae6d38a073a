#include "diagnostics/DiagnosticsSeam.h"

#include "diagnostics/Death.h"
#include "diagnostics/Health.h"
#include "diagnostics/MainStallWatch.h"
#include "diagnostics/Orphans.h"

namespace murmelo {

DiagnosticsSeam::DiagnosticsSeam() {
    installQuitSignals = [] { murmelo::installQuitSignals(); };
    installDeathLogging = [] { murmelo::installDeathLogging(); };
    orphansSweep = [] { Orphans::sweep(); };
    healthStart = [] { Health::start(); };
    mainStallWatchStart = [] { MainStallWatch::start(); };
    mainStallWatchStop = [] { MainStallWatch::stop(); };
}

}  // namespace murmelo
