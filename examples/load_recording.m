% load_recording.m - first steps with what pelgToMatlab wrote.
%
% Loads dataOut.mat, completeData.mat and completeSensorAudio.wav from one
% output folder, prints what they hold and plots the barometric pressure on
% the uniform time base with the samples that the converter filled (missing
% from the recording) marked. Runs in MATLAB and in Octave.
%
%   folder = 'build/demo/demo-output/converted';  % where pelgToMatlab wrote
%   addpath('examples');
%   load_recording
%
% Called by name the script runs in the current directory, so a relative
% folder works. run('examples/load_recording.m') changes to the script's
% folder while it runs: with run, give an absolute folder, for instance
% fullfile(pwd, 'build/demo/demo-output/converted').
%
% Without `folder` the current directory is used. The picture is saved as
% pressure.png in the folder.

if ~exist('folder', 'var')
  folder = '.';
end
if ~exist(fullfile(folder, 'completeData.mat'), 'file')
  error('load_recording: no completeData.mat in %s (seen from %s); give an absolute folder, e.g. fullfile(pwd, ''%s'')', ...
        folder, pwd, folder);
end

d = load(fullfile(folder, 'dataOut.mat'));       % every value as found
c = load(fullfile(folder, 'completeData.mat'));  % uniform time base, gaps filled
dataOut = d.dataOut;
completeData = c.completeData;
[audio, fs] = audioread(fullfile(folder, 'completeSensorAudio.wav'));

% Start time: milliseconds since 1970-01-01 UTC.
startDay = datenum(1970, 1, 1) + completeData.ActualStart / 86400000;
fprintf('Recording of board 0x%04X starts %s UTC\n', completeData.serialNumber, datestr(startDay, 31));
fprintf('Source files:\n%s', completeData.sourceFiles);
fprintf('Longest HUX2 channel: %.1f s\n', dataOut.maxTime);

% dataOut: one value per packet and channel, with its own time column.
fprintf('Accelerometer: %d readings as found, first at %.3f s\n', numel(dataOut.accelX), dataOut.accelTime(1));
% completeData: as many rows as rate and time call for, x/y/z as columns.
fprintf('Accelerometer: %d x %d on the uniform time base at %g Hz\n', size(completeData.accel, 1), ...
        size(completeData.accel, 2), completeData.accel_SR);
fprintf('Audio: %d samples at %d Hz (%.1f s)\n', numel(audio), fs, numel(audio) / fs);

% Pressure against time, filled samples marked. missingSamples holds a sparse
% logical column per channel: true where a row was filled, not measured.
p = completeData.BarPres;
t = (1:numel(p))' / completeData.BarPres_SR / 60;  % minutes after the start
missing = full(completeData.missingSamples.BarPres) ~= 0;
fprintf('BarPres: %d of %d samples filled\n', nnz(missing), numel(p));

isOctave = exist('OCTAVE_VERSION', 'builtin') ~= 0;
if isOctave && isempty(getenv('DISPLAY'))
  % No screen: draw off-screen through gnuplot when it is installed.
  toolkits = available_graphics_toolkits();
  if ~any(strcmp(toolkits, 'gnuplot'))
    fprintf('No graphics toolkit for a headless Octave (install gnuplot); no picture drawn\n');
    return;
  end
  warning('off', 'Octave:gnuplot-graphics');
  graphics_toolkit('gnuplot');
end
h = figure('visible', 'off');
plot(t, p, 'b-');
hold on;
plot(t(missing), p(missing), 'r.');
xlabel('minutes after the start');
ylabel('pressure (mbar)');
legend('measured', 'filled (missing)');
title(sprintf('BarPres: %d of %d samples filled', nnz(missing), numel(p)));
picture = fullfile(folder, 'pressure.png');
if isOctave && strcmp(graphics_toolkit(), 'gnuplot')
  print(h, '-dpngcairo', picture);
else
  print(h, '-dpng', picture);
end
close(h);
fprintf('Picture: %s\n', picture);
