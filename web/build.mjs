// Bundles the replay page into one HTML file with its script and styles inline, so that it
// opens from disk with no server: dist/replay.html (and beside it, for a given path, a copy).
import * as esbuild from 'esbuild';
import { readFileSync, writeFileSync, mkdirSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';

const here = dirname(fileURLToPath(import.meta.url));
const out = process.argv[2] || join(here, 'dist', 'replay.html');
const result = await esbuild.build({
  entryPoints: [join(here, 'src', 'main.js')],
  bundle: true,
  minify: true,
  format: 'iife',
  target: 'es2020',
  write: false,
  outdir: 'out',
  legalComments: 'none',
  logLevel: 'warning',
});
const text = (ext) => result.outputFiles.filter((f) => f.path.endsWith(ext)).map((f) => f.text).join('\n');
// A closing tag inside the script would end it early.
const js = text('.js').replace(/<\/script/gi, '<\\/script');
const page = readFileSync(join(here, 'src', 'index.html'), 'utf8')
  .replace('/*CSS*/', () => text('.css'))
  .replace('/*JS*/', () => js);
mkdirSync(dirname(out), { recursive: true });
writeFileSync(out, page);
console.log(`replay page: ${out} (${(page.length / 1024).toFixed(0)} KiB)`);
