#pragma once

struct Settings;
class TfrmTemplate;

// The e-mail and fax template keys of the settings file live in the
// template window's controls (and the fax body in the fax editor) for the
// run: applied after LoadSettings, collected before SaveSettings.
void applyTemplateSettings(TfrmTemplate &window, const Settings &settings);
void collectTemplateSettings(const TfrmTemplate &window, Settings &settings);
