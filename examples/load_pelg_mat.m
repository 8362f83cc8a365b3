function loaded = load_pelg_mat(file)
% load_pelg_mat - loads dataOut.mat or completeData.mat of pelgToMatlab in
% MATLAB and in GNU Octave, whether the file is MAT v5 or MAT v7.3.
%
%   c = load_pelg_mat('out/completeData.mat');  completeData = c.completeData;
%
% Returns what MATLAB's load returns: a struct with one field per variable.
% MATLAB loads both versions itself, and so does Octave a MAT v5 file. Octave
% (version 7) reads a MAT v7.3 file as plain HDF5: text comes as uint16
% UTF-16 code units, an empty array as its dimensions (uint64, in MATLAB's
% order), a sparse mask as a struct of its HDF5 parts data, ir and jc (jc
% alone when no row is marked), and the fields of a struct in alphabetical
% order. For such a file this turns text back into char (UTF-8, as Octave
% keeps text), empty arrays into empty doubles and each mask into a sparse
% logical column with the rows of its channel; the fields stay in
% alphabetical order.
  loaded = load(file);
  if ~exist('OCTAVE_VERSION', 'builtin') || ~is_mat73(file)
    return;
  end
  names = fieldnames(loaded);
  for i = 1:numel(names)
    loaded.(names{i}) = restore(loaded.(names{i}));
  end
end

function yes = is_mat73(file)
  fid = fopen(file, 'r');
  text = fread(fid, 19, 'char=>char')';
  fclose(fid);
  yes = strcmp(text, 'MATLAB 7.3 MAT-file');
end

function value = restore(value)
  if isstruct(value)
    if is_mask(value)
      return;  % turned into a sparse column by its owner, which knows the rows
    end
    names = fieldnames(value);
    for k = 1:numel(names)
      value.(names{k}) = restore(value.(names{k}));
    end
    if isfield(value, 'missingSamples')
      channels = fieldnames(value.missingSamples);
      for k = 1:numel(channels)
        parts = value.missingSamples.(channels{k});
        rows = size(value.(channels{k}), 1);
        marked = [];
        if isfield(parts, 'ir')
          marked = double(parts.ir(:)) + 1;
        end
        value.missingSamples.(channels{k}) = ...
            sparse(marked, ones(numel(marked), 1), true(numel(marked), 1), rows, 1);
      end
    end
  elseif isa(value, 'uint16')
    value = native2unicode(typecast(uint16(value(:)'), 'uint8'), 'UTF-16LE');
  elseif isa(value, 'uint64')
    value = zeros(double(value(1)), double(value(2)));
  end
end

function yes = is_mask(value)
  names = sort(fieldnames(value));
  yes = isequal(names(:)', {'data', 'ir', 'jc'}) || isequal(names(:)', {'jc'});
end
