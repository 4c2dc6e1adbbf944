// The models a main window over the application shows: its studio, machines, project, sequencer,
// HD recorder rows and options, and the list of recent projects. The live output's hooks are the
// caller's to add.
#pragma once

#include "app/application.h"
#include "host_machines/hd_recorder/hd_track.h"
#include "studio_ui/document/recent_projects.h"
#include "studio_ui/main_window/main_window.h"

inline main_window::CMainWindow::Models WindowModels(CApplication& application, CRecentProjects* recent) {
    main_window::CMainWindow::Models models;
    models.studio = application.Studio();
    models.registry = application.Registry();
    models.project = &application.Project();
    models.sequencer = application.Sequencer();
    models.recorderRows = &CHDTrackList::Studio();
    models.options = &application.ApplicationOptions();
    models.recent = recent;
    return models;
}
