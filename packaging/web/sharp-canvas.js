// Linked after emscripten's GLUT (--post-js): the canvas draws as many
// pixels as the screen shows it with, its size on the page times the
// screen's devicePixelRatio, and again whenever the window or the ratio
// changes (a window dragged to another screen, a zoom, the browser's full
// screen). The game's reshape draws the 4:3 view at whatever size the canvas
// has, with its text rasterised for that size; GLUT hands the mouse to the
// game in the canvas's own pixels.
(function () {
  // The widest canvas, pixels: twice the game's 1024, as on a ratio-2
  // screen. The full-screen pictures have 1024 columns: a wider canvas
  // shows nothing more of them, only costs pixels to fill.
  var widest = 2048;
  function sharpen() {
    var canvas = Module['canvas'];
    var shown = canvas.getBoundingClientRect().width * window.devicePixelRatio;
    // a multiple of 4, so that 3/4 of it is whole
    var width = Math.max(4, Math.min(widest, Math.round(shown / 4) * 4));
    if (canvas.width != width || canvas.height != width * 3 / 4) {
      Browser.setCanvasSize(width, width * 3 / 4);
    }
  }
  // A media query that holds at the ratio now stops holding when it changes.
  function watchRatio() {
    var query = window.matchMedia('(resolution: ' + window.devicePixelRatio + 'dppx)');
    query.addEventListener('change', function () { sharpen(); watchRatio(); }, {once: true});
  }
  addOnPostRun(function () {
    sharpen();
    window.addEventListener('resize', sharpen);
    watchRatio();
  });
})();
