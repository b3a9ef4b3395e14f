// The demo CD's page: fetches the CD from this page's own origin and mounts it read-only as
// drive D:, keeps drive C: and the registry file in the browser's storage, starts the menu, and
// plays a movie file the user drops on the page or picks (read from the browser a piece at a
// time, never uploaded). The module (democd.js) does the rest.
/* global FS, IDBFS, ENV, addRunDependency, removeRunDependency, lengthBytesUTF8, stringToUTF8 */
'use strict';
var Module = {
  // The CD as the build laid it out; its programs are the page's own (in-page stand-ins).
  cdFiles: ['loading.bmp', 'Readme.txt', 'Trailer/trailer.mov'],
  cdPrograms: ['setup.exe', 'directx/dxsetup.exe', 'Trailer/filmo.exe'],
  print: (text) => console.log(text),
  printErr: (text) => console.error(text),
  preRun: [function () {
    const params = new URLSearchParams(location.search);
    if (params.get('mode') === '640x480') ENV.FILMO_MODE = '640x480';
    if (params.get('pixels') === '555') ENV.FILMO_PIXEL_FORMAT = '555';
    if (params.has('trace')) ENV.FILMO_TRACE = '1';
    mountStorage();
    mountCd();
  }],
};

function mountStorage() {
  FS.mkdir('/prefix');
  FS.mount(IDBFS, {}, '/prefix');
  addRunDependency('storage');
  FS.syncfs(true, (error) => {
    if (error) console.error('the browser storage could not be read: ' + error);
    removeRunDependency('storage');
  });
}

function makeFolders(path) {
  let at = '';
  for (const part of path.split('/').slice(0, -1)) {
    at += '/' + part;
    if (!FS.analyzePath(at).exists) FS.mkdir(at);
  }
}

function mountCd() {
  addRunDependency('cd');
  const loading = document.getElementById('loading');
  Promise.all(Module.cdFiles.map((name) =>
    fetch('cd/' + name).then((response) => {
      if (!response.ok) throw new Error(name + ': ' + response.status);
      return response.arrayBuffer();
    }).then((data) => {
      makeFolders('cd/' + name);
      FS.writeFile('/cd/' + name, new Uint8Array(data));
    }))).then(() => {
    for (const name of Module.cdPrograms) {
      makeFolders('cd/' + name);
      FS.writeFile('/cd/' + name, 'in-page program\n');
    }
    // Read-only, as a CD is.
    const seal = (path) => {
      for (const name of FS.readdir(path)) {
        if (name === '.' || name === '..') continue;
        const child = path + '/' + name;
        if (FS.isDir(FS.stat(child).mode)) { seal(child); FS.chmod(child, 0o555); }
        else FS.chmod(child, 0o444);
      }
    };
    seal('/cd');
    FS.chmod('/cd', 0o555);
    removeRunDependency('cd');
  }, (error) => {
    loading.textContent = 'The demo CD could not be loaded: ' + error.message;
  });
}

Module.page = (function () {
  const page = {};
  const $ = (id) => document.getElementById(id);
  let standin = null;

  function request(kind, name) {
    const length = lengthBytesUTF8(name) + 1;
    const pointer = Module._malloc(length);
    stringToUTF8(name, pointer, length);
    Module._web_page_request(kind, pointer);
    Module._free(pointer);
  }

  page.ready = function () {
    $('loading').remove();
    Module.web.onProcessEnded = (name) => {
      if (name === 'runner') $('start-menu').hidden = false;
    };
    Module.web.onKey = () => {
      if (!standin) return false;
      standin.remove();
      standin = null;
      return true;
    };
    request(1, '');
  };

  page.startMenu = function () {
    $('start-menu').hidden = true;
    request(1, '');
  };

  // The stand-ins' windows: a text until a key.
  page.standinWindow = function (title, text) {
    if (standin) standin.remove();
    standin = document.createElement('div');
    standin.className = 'window standin';
    standin.innerHTML = '<div class="caption"><span></span></div><div class="client"></div>';
    standin.querySelector('span').textContent = title;
    standin.querySelector('.client').textContent = text;
    document.body.appendChild(standin);
  };

  page.play = function (file) {
    if (!file) return;
    Module.web.resumeSound();
    const id = Module.web.addDropped(file);
    // The name as the player sees it; slashes in it cannot make another folder.
    request(2, '/dropped/' + id + '/' + file.name.replace(/\//g, '_'));
  };

  page.reset = function () {
    // Everything of drive C: and the registry file, then the page again.
    const clear = (path) => {
      for (const name of FS.readdir(path)) {
        if (name === '.' || name === '..') continue;
        const child = path + '/' + name;
        if (FS.isDir(FS.lstat(child).mode)) { clear(child); FS.rmdir(child); }
        else FS.unlink(child);
      }
    };
    clear('/prefix');
    FS.syncfs(false, () => location.reload());
  };
  return page;
})();

addEventListener('DOMContentLoaded', () => {
  const $ = (id) => document.getElementById(id);
  $('start-menu').onclick = () => Module.page.startMenu();
  $('pick').onchange = (e) => { Module.page.play(e.target.files[0]); e.target.value = ''; };
  $('reset').onclick = (e) => { e.preventDefault(); Module.page.reset(); };
  document.addEventListener('dragover', (e) => e.preventDefault());
  document.addEventListener('drop', (e) => {
    e.preventDefault();
    if (e.dataTransfer.files.length) Module.page.play(e.dataTransfer.files[0]);
  });
});
