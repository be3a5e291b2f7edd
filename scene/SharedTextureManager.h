// The engine's one texture manager, for the code that reaches textures
// without holding the scene (script classes and global functions).
//
// There is never more than one manager at a time: two would each keep their
// own table of the records bound on every unit, and each would take the
// other's binds for its own. So the scene does not make a manager of its
// own: when it is created it takes this one with SharedTextureManager()
// (made then, or earlier by a script, whose records stay valid), and when it
// is deleted it ends it with EndSharedTextureManager(). Until a scene exists
// the manager is made at first use and lives until it is ended or the
// process ends.
//
// Used on the thread that owns the GL context, like the manager itself.
#pragma once

class VRTextureManager;

// The manager, made at first use. Null while none exists and no GL context
// is current: the manager reads the GL at creation and uploads at its binds.
VRTextureManager* SharedTextureManager();

// The manager when one exists, without making one.
VRTextureManager* ExistingTextureManager();

// Deletes the manager: its records are freed and marked removed, so their
// holders see no record from then on. The next SharedTextureManager() makes
// a new one.
void EndSharedTextureManager();
