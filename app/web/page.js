// The page's side of the demo, loaded before the program (index.js). Lines the program
// prints go to the console area and the browser's console; the address's
// events=FILE&steps=N become the program's arguments; the shipped body and the
// events file are fetched into the module's file system first.
var Module = {};
var consoleArea = document.getElementById('console');
function showLine(text) {
  consoleArea.textContent += text + '\n';
  consoleArea.scrollTop = consoleArea.scrollHeight;
}
Module['print'] = function (text) {
  console.log(text);
  showLine(text);
};
Module['printErr'] = function (text) {
  console.warn(text);
  // emscripten's notes on its GL emulation are meant for developers.
  if (!/^(WARNING: using emscripten GL|TODO: )/.test(text)) showLine(text);
};
Module['canvas'] = document.getElementById('canvas');

var address = new URLSearchParams(location.search);
var eventsName = address.get('events');
Module['arguments'] = [];
if (eventsName !== null) Module['arguments'].push('--events', '/replay.events', '--shown-as', eventsName);
if (address.has('steps')) Module['arguments'].push('--steps', address.get('steps'));

// Fetches url (relative to the page) into path before the program starts; `fix`
// says what to do when that fails.
function fetchBeforeStart(url, path, fix) {
  addRunDependency(path);
  fetch(url)
    .then(function (response) {
      if (!response.ok) throw new Error('HTTP status ' + response.status);
      return response.arrayBuffer();
    })
    .then(function (bytes) { FS.writeFile(path, new Uint8Array(bytes)); })
    .catch(function (problem) {
      Module['printErr']("cannot load '" + url + "' beside the page: " + problem.message + '; ' + fix);
    })
    .finally(function () { removeRunDependency(path); });
}
Module['preRun'] = [function () {
  FS.mkdir('/Objects');
  fetchBeforeStart('Objects/Objekt3.asc', '/Objects/Objekt3.asc',
                   'serve the whole build/web folder over HTTP (scripts/serve-web.sh)');
  if (eventsName !== null) {
    fetchBeforeStart(eventsName, '/replay.events', 'copy the events file into build/web or name it relative to the page');
  }
}];
