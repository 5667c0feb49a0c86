#pragma once
// Which file the demo reads its body from when no mesh is named.

namespace plumfold {

// Objects/Objekt3.asc in the working directory when there is anything by that
// name (so a folder with its own body wins, and a broken one is reported as
// always); otherwise the body installed with the program, looked for in
// ../share/plumfold/Objects beside the executable (an installation that was
// moved still finds it) and then under the install prefix it was built for;
// otherwise the working-directory path again, so the message about it is the
// familiar one. The text stays valid for the whole run.
const char* shippedMeshPath();

}  // namespace plumfold
